#include "graphics/png/PngWriter.h"

#include "graphics/png/PngErrors.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kelta::gfx {
namespace {

struct WriteRun {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  std::FILE* File = nullptr;
  int WriteErrno = 0;
  char Error[200] = "";
  std::vector<png_byte> Rgba;
  std::vector<png_bytep> Rows;

  ~WriteRun() {
    if (Png) png_destroy_write_struct(&Png, Info ? &Info : nullptr);
    if (File) std::fclose(File);
  }
};

[[noreturn]] void OnError(png_structp Png, png_const_charp Message) {
  auto* run = static_cast<WriteRun*>(png_get_error_ptr(Png));
  std::snprintf(run->Error, sizeof run->Error, "%s", Message ? Message : "PNG error");
  png_longjmp(Png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnWrite(png_structp Png, png_bytep Data, size_t Size) {
  auto* run = static_cast<WriteRun*>(png_get_io_ptr(Png));
  if (std::fwrite(Data, 1, Size, run->File) != Size) {
    run->WriteErrno = errno;
    png_error(Png, "Write Error");
  }
}

void OnFlush(png_structp Png) {
  auto* run = static_cast<WriteRun*>(png_get_io_ptr(Png));
  if (std::fflush(run->File) != 0) {
    run->WriteErrno = errno;
    png_error(Png, "Write Error");
  }
}

// The one function that holds libpng's jump target.
bool RunEncoder(WriteRun& Run, png_uint_32 W, png_uint_32 H) {
  if (setjmp(png_jmpbuf(Run.Png))) return false;
  png_set_write_fn(Run.Png, &Run, OnWrite, OnFlush);
  png_set_IHDR(Run.Png, Run.Info, W, H, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(Run.Png, Run.Info);
  png_write_image(Run.Png, Run.Rows.data());
  png_write_end(Run.Png, nullptr);
  return true;
}

}  // namespace

void SavePngFile(const TCustomBitmap32& Bitmap, const std::string& FileName) {
  if (Bitmap.Empty()) throw EPngError("Cannot write an empty picture");
  const auto w = static_cast<png_uint_32>(Bitmap.Width());
  const auto h = static_cast<png_uint_32>(Bitmap.Height());

  WriteRun run;
  run.Rgba.resize(static_cast<size_t>(w) * h * 4);
  for (png_uint_32 y = 0; y < h; ++y) {
    const TColor32* src = Bitmap.ScanLine(static_cast<int>(y));
    png_byte* dst = run.Rgba.data() + static_cast<size_t>(y) * w * 4;
    for (png_uint_32 x = 0; x < w; ++x, dst += 4) {
      dst[0] = static_cast<png_byte>(RedComponent(src[x]));
      dst[1] = static_cast<png_byte>(GreenComponent(src[x]));
      dst[2] = static_cast<png_byte>(BlueComponent(src[x]));
      dst[3] = static_cast<png_byte>(AlphaComponent(src[x]));
    }
    run.Rows.push_back(run.Rgba.data() + static_cast<size_t>(y) * w * 4);
  }

  run.File = std::fopen(FileName.c_str(), "wb");
  if (!run.File) {
    const int err = errno;
    throw EFileOpenError("Cannot create file \"" + FileName + "\". " + std::strerror(err));
  }
  run.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &run, OnError, OnWarning);
  if (run.Png) run.Info = png_create_info_struct(run.Png);
  bool ok = run.Png && run.Info && RunEncoder(run, w, h);
  const int closeResult = std::fclose(run.File);
  const int closeErrno = errno;
  run.File = nullptr;
  if (ok && closeResult != 0) {
    ok = false;
    run.WriteErrno = closeErrno;
    std::snprintf(run.Error, sizeof run.Error, "Write Error");
  }
  if (!ok) {
    std::remove(FileName.c_str());
    std::string message = run.Error[0] ? run.Error : "Insufficient memory";
    if (run.WriteErrno != 0) message += std::string(". ") + std::strerror(run.WriteErrno);
    throw EPngError(message);
  }
}

}  // namespace kelta::gfx
