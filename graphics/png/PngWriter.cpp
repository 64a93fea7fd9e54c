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

struct TWriteRun {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  std::FILE* File = nullptr;
  int WriteErrno = 0;
  char Error[200] = "";
  std::vector<png_byte> Rgba;
  std::vector<png_bytep> Rows;

  ~TWriteRun() {
    if (Png) png_destroy_write_struct(&Png, Info ? &Info : nullptr);
    if (File) std::fclose(File);
  }
};

[[noreturn]] void OnError(png_structp Png, png_const_charp Message) {
  auto* Run = static_cast<TWriteRun*>(png_get_error_ptr(Png));
  std::snprintf(Run->Error, sizeof Run->Error, "%s", Message ? Message : "PNG error");
  png_longjmp(Png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnWrite(png_structp Png, png_bytep Data, size_t Size) {
  auto* Run = static_cast<TWriteRun*>(png_get_io_ptr(Png));
  if (std::fwrite(Data, 1, Size, Run->File) != Size) {
    Run->WriteErrno = errno;
    png_error(Png, "Write Error");
  }
}

void OnFlush(png_structp Png) {
  auto* Run = static_cast<TWriteRun*>(png_get_io_ptr(Png));
  if (std::fflush(Run->File) != 0) {
    Run->WriteErrno = errno;
    png_error(Png, "Write Error");
  }
}

// The one function that holds libpng's jump target.
bool RunEncoder(TWriteRun& Run, png_uint_32 W, png_uint_32 H) {
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
  const auto W = static_cast<png_uint_32>(Bitmap.Width());
  const auto H = static_cast<png_uint_32>(Bitmap.Height());

  TWriteRun Run;
  Run.Rgba.resize(static_cast<size_t>(W) * H * 4);
  for (png_uint_32 Y = 0; Y < H; ++Y) {
    const TColor32* Src = Bitmap.ScanLine(static_cast<int>(Y));
    png_byte* Dst = Run.Rgba.data() + static_cast<size_t>(Y) * W * 4;
    for (png_uint_32 X = 0; X < W; ++X, Dst += 4) {
      Dst[0] = static_cast<png_byte>(RedComponent(Src[X]));
      Dst[1] = static_cast<png_byte>(GreenComponent(Src[X]));
      Dst[2] = static_cast<png_byte>(BlueComponent(Src[X]));
      Dst[3] = static_cast<png_byte>(AlphaComponent(Src[X]));
    }
    Run.Rows.push_back(Run.Rgba.data() + static_cast<size_t>(Y) * W * 4);
  }

  Run.File = std::fopen(FileName.c_str(), "wb");
  if (!Run.File) {
    const int Err = errno;
    throw EFileOpenError("Cannot create file \"" + FileName + "\". " + std::strerror(Err));
  }
  Run.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &Run, OnError, OnWarning);
  if (Run.Png) Run.Info = png_create_info_struct(Run.Png);
  bool Ok = Run.Png && Run.Info && RunEncoder(Run, W, H);
  const int CloseResult = std::fclose(Run.File);
  const int CloseErrno = errno;
  Run.File = nullptr;
  if (Ok && CloseResult != 0) {
    Ok = false;
    Run.WriteErrno = CloseErrno;
    std::snprintf(Run.Error, sizeof Run.Error, "Write Error");
  }
  if (!Ok) {
    std::remove(FileName.c_str());
    std::string Message = Run.Error[0] ? Run.Error : "Insufficient memory";
    if (Run.WriteErrno != 0) Message += std::string(". ") + std::strerror(Run.WriteErrno);
    throw EPngError(Message);
  }
}

}  // namespace kelta::gfx
