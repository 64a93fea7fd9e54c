#include "graphics/png/PngDecoder.h"

#include "graphics/png/PngErrors.h"
#include "graphics/png/PngSamples.h"

#include <png.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace kelta::gfx {
namespace {

// Everything the libpng run touches lives here, outside the frame that calls setjmp, so that
// a longjmp back into that frame finds it intact and the destructor frees it on every path.
struct TDecodeRun {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  TPngSource* Source = nullptr;
  char Error[200] = "";
  TPngFormat Format;
  TPngPicture Picture;
  std::vector<std::uint8_t> Rows;
  std::vector<png_bytep> RowPointers;

  ~TDecodeRun() {
    if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
  }
};

// Called by libpng; no object with a destructor may be alive here when it jumps.
[[noreturn]] void OnPngError(png_structp Png, png_const_charp Message) {
  auto* Run = static_cast<TDecodeRun*>(png_get_error_ptr(Png));
  std::snprintf(Run->Error, sizeof Run->Error, "%s", Message ? Message : "PNG error");
  png_longjmp(Png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void OnPngRead(png_structp Png, png_bytep Data, size_t Size) {
  auto* Run = static_cast<TDecodeRun*>(png_get_io_ptr(Png));
  if (!Run->Source->Read(Data, Size)) png_error(Png, "Read Error");
}

void TakeFormat(TDecodeRun& R) {
  TPngFormat& F = R.Format;
  F.ColorType = static_cast<TPngColorType>(png_get_color_type(R.Png, R.Info));
  F.BitDepth = png_get_bit_depth(R.Png, R.Info);
  F.Palette.fill(0xFF000000u);
  png_colorp Palette = nullptr;
  int PaletteCount = 0;
  if (png_get_PLTE(R.Png, R.Info, &Palette, &PaletteCount) & PNG_INFO_PLTE) {
    F.PaletteCount = std::min(PaletteCount, 256);
    for (int I = 0; I < F.PaletteCount; ++I)
      F.Palette[static_cast<std::size_t>(I)] =
          Color32(Palette[I].red, Palette[I].green, Palette[I].blue);
  }
  png_bytep TransAlpha = nullptr;
  int TransCount = 0;
  png_color_16p TransColor = nullptr;
  if (png_get_tRNS(R.Png, R.Info, &TransAlpha, &TransCount, &TransColor) & PNG_INFO_tRNS) {
    F.HasTrans = true;
    if (F.ColorType == pctPalette) {
      F.TransCount = std::min(TransCount, 256);
      for (int I = 0; I < F.TransCount; ++I) {
        TColor32& E = F.Palette[static_cast<std::size_t>(I)];
        E = (E & 0x00FFFFFFu) | static_cast<TColor32>(TransAlpha[I]) << 24;
      }
    } else if (TransColor) {
      F.TransGrey = TransColor->gray;
      F.TransRed = TransColor->red;
      F.TransGreen = TransColor->green;
      F.TransBlue = TransColor->blue;
    }
  }
}

// The one function that holds libpng's jump target. Returns false with Run.Error set.
bool RunDecoder(TDecodeRun& Run) {
  if (setjmp(png_jmpbuf(Run.Png))) return false;

  png_set_read_fn(Run.Png, &Run, OnPngRead);
  png_set_user_limits(Run.Png, kPngMaxDimension, kPngMaxDimension);
  png_set_chunk_cache_max(Run.Png, kPngMaxCachedChunks);
  png_set_chunk_malloc_max(Run.Png, kPngMaxChunkBytes);
  png_read_info(Run.Png, Run.Info);

  const png_uint_32 W = png_get_image_width(Run.Png, Run.Info);
  const png_uint_32 H = png_get_image_height(Run.Png, Run.Info);
  if (static_cast<std::uint64_t>(W) * H > kPngMaxPixels) {
    std::snprintf(Run.Error, sizeof Run.Error, "Image is too large (%ux%u)", W, H);
    return false;
  }
  TakeFormat(Run);

  // Sub-byte samples unpacked to one per byte; no other transformation, the sample rules
  // are ours (PngSamples.cpp).
  if (Run.Format.BitDepth < 8) png_set_packing(Run.Png);
  png_set_interlace_handling(Run.Png);
  png_read_update_info(Run.Png, Run.Info);

  const size_t RowBytes = png_get_rowbytes(Run.Png, Run.Info);
  Run.Rows.resize(RowBytes * H);
  Run.RowPointers.resize(H);
  for (png_uint_32 Y = 0; Y < H; ++Y) Run.RowPointers[Y] = Run.Rows.data() + RowBytes * Y;
  png_read_image(Run.Png, Run.RowPointers.data());
  png_read_end(Run.Png, nullptr);

  Run.Picture.Width = static_cast<int>(W);
  Run.Picture.Height = static_cast<int>(H);
  Run.Picture.Pixels.resize(static_cast<size_t>(W) * H);
  for (png_uint_32 Y = 0; Y < H; ++Y)
    ConvertPngRow(Run.Format, Run.RowPointers[Y], static_cast<int>(W),
                  Run.Picture.Pixels.data() + static_cast<size_t>(W) * Y);
  return true;
}

class TStreamSource final : public TPngSource {
 public:
  explicit TStreamSource(std::istream& S) : S_(S) {}
  bool Read(std::uint8_t* Data, std::size_t Size) noexcept override {
    try {
      S_.read(reinterpret_cast<char*>(Data), static_cast<std::streamsize>(Size));
      return static_cast<std::size_t>(S_.gcount()) == Size;
    } catch (...) {
      return false;
    }
  }

 private:
  std::istream& S_;
};

class TFileSource final : public TPngSource {
 public:
  explicit TFileSource(const std::string& FileName) {
    Fd_ = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    int Err = Fd_ < 0 ? errno : 0;
    struct stat St {};
    if (Fd_ >= 0 && ::fstat(Fd_, &St) == 0 && S_ISDIR(St.st_mode)) Err = EISDIR;
    if (Err != 0)
      throw EFileOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(Err));
  }
  ~TFileSource() override {
    if (Fd_ >= 0) ::close(Fd_);
  }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;

  bool Read(std::uint8_t* Data, std::size_t Size) noexcept override {
    while (Size > 0) {
      const ssize_t N = ::read(Fd_, Data, Size);
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) return false;
      Data += N;
      Size -= static_cast<std::size_t>(N);
    }
    return true;
  }

 private:
  int Fd_ = -1;
};

}  // namespace

TPngPicture ReadPngSource(TPngSource& Source) {
  TDecodeRun Run;
  Run.Source = &Source;
  Run.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &Run, OnPngError, OnPngWarning);
  if (Run.Png) Run.Info = png_create_info_struct(Run.Png);
  if (!Run.Png || !Run.Info) throw EPngError("Insufficient memory");
  if (!RunDecoder(Run)) throw EPngError(Run.Error);
  FinishPngPicture(Run.Format, Run.Picture);
  return std::move(Run.Picture);
}

TPngPicture ReadPngStream(std::istream& Stream) {
  TStreamSource Source(Stream);
  return ReadPngSource(Source);
}

TPngPicture ReadPngFile(const std::string& FileName) {
  TFileSource Source(FileName);
  return ReadPngSource(Source);
}

}  // namespace kelta::gfx
