#include "graphics/png/PngDecoder.h"

#include "graphics/png/PngErrors.h"
#include "graphics/png/PngFileSource.h"
#include "graphics/png/PngSamples.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace kelta::gfx {
namespace {

// Follows the chunk structure over the bytes as libpng takes them, so that a chunk whose
// length claims more bytes than the source holds is refused at its header, before libpng
// allocates or reads by the claim (a few bytes could otherwise ask for 2 GB).
class ChunkWalk {
 public:
  // False when a length field completed in Data (the bytes after those taken so far) claims
  // a chunk that ends beyond Total.
  bool Take(const std::uint8_t* Data, std::size_t Size, std::uint64_t Total) {
    const std::uint64_t end = taken_ + Size;
    for (;;) {
      const std::uint64_t from = std::max(lengthAt_, taken_);
      const std::uint64_t to = std::min(lengthAt_ + 4, end);
      for (std::uint64_t o = from; o < to; ++o) length_ = length_ << 8 | Data[o - taken_];
      if (to < lengthAt_ + 4) break;  // the field goes on in the next bytes, or starts there
      // Length, type, data and CRC.
      const std::uint64_t chunkEnd = lengthAt_ + 12 + length_;
      if (chunkEnd > Total) return false;
      lengthAt_ = chunkEnd;
      length_ = 0;
    }
    taken_ = end;
    return true;
  }

 private:
  std::uint64_t taken_ = 0;
  std::uint64_t lengthAt_ = 8;  // after the signature
  std::uint64_t length_ = 0;
};

// Everything the libpng run touches lives here, outside the frame that calls setjmp, so that
// a longjmp back into that frame finds it intact and the destructor frees it on every path.
struct DecodeRun {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  PngSource* Source = nullptr;
  std::uint64_t SourceSize = UINT64_MAX;
  ChunkWalk Chunks;
  char Error[200] = "";
  PngFormat Format;
  PngPicture Picture;
  std::vector<std::uint8_t> Rows;
  std::vector<png_bytep> RowPointers;

  ~DecodeRun() {
    if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
  }
};

// Called by libpng; no object with a destructor may be alive here when it jumps.
[[noreturn]] void OnPngError(png_structp Png, png_const_charp Message) {
  auto* run = static_cast<DecodeRun*>(png_get_error_ptr(Png));
  std::snprintf(run->Error, sizeof run->Error, "%s", Message ? Message : "PNG error");
  png_longjmp(Png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void OnPngRead(png_structp Png, png_bytep Data, size_t Size) {
  auto* run = static_cast<DecodeRun*>(png_get_io_ptr(Png));
  // A chunk longer than the file fails as reading its missing bytes would.
  if (!run->Source->Read(Data, Size) || !run->Chunks.Take(Data, Size, run->SourceSize))
    png_error(Png, "Read Error");
}

void TakeFormat(DecodeRun& R) {
  PngFormat& f = R.Format;
  f.ColorType = static_cast<PngColorType>(png_get_color_type(R.Png, R.Info));
  f.BitDepth = png_get_bit_depth(R.Png, R.Info);
  f.Palette.fill(0xFF000000u);
  png_colorp palette = nullptr;
  int paletteCount = 0;
  if (png_get_PLTE(R.Png, R.Info, &palette, &paletteCount) & PNG_INFO_PLTE) {
    f.PaletteCount = std::min(paletteCount, 256);
    for (int i = 0; i < f.PaletteCount; ++i)
      f.Palette[static_cast<std::size_t>(i)] =
          Color32(palette[i].red, palette[i].green, palette[i].blue);
  }
  png_bytep transAlpha = nullptr;
  int transCount = 0;
  png_color_16p transColor = nullptr;
  if (png_get_tRNS(R.Png, R.Info, &transAlpha, &transCount, &transColor) & PNG_INFO_tRNS) {
    f.HasTrans = true;
    if (f.ColorType == pctPalette) {
      f.TransCount = std::min(transCount, 256);
      for (int i = 0; i < f.TransCount; ++i) {
        TColor32& e = f.Palette[static_cast<std::size_t>(i)];
        e = (e & 0x00FFFFFFu) | static_cast<TColor32>(transAlpha[i]) << 24;
      }
    } else if (transColor) {
      f.TransGrey = transColor->gray;
      f.TransRed = transColor->red;
      f.TransGreen = transColor->green;
      f.TransBlue = transColor->blue;
    }
  }
}

// The one function that holds libpng's jump target. Returns false with Run.Error set.
bool RunDecoder(DecodeRun& Run) {
  if (setjmp(png_jmpbuf(Run.Png))) return false;

  png_set_read_fn(Run.Png, &Run, OnPngRead);
  png_set_user_limits(Run.Png, kPngMaxDimension, kPngMaxDimension);
  png_set_chunk_cache_max(Run.Png, kPngMaxCachedChunks);
  png_set_chunk_malloc_max(Run.Png, kPngMaxChunkBytes);
  // Every ancillary chunk but tRNS is skipped without being kept: the loader uses none of
  // them, and libpng would allocate what a text or palette chunk claims even past the
  // malloc limit above, which it reports only as a warning.
  png_set_keep_unknown_chunks(Run.Png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(Run.Png, Run.Info);

  const png_uint_32 w = png_get_image_width(Run.Png, Run.Info);
  const png_uint_32 h = png_get_image_height(Run.Png, Run.Info);
  if (static_cast<std::uint64_t>(w) * h > kPngMaxPixels) {
    std::snprintf(Run.Error, sizeof Run.Error, "Image is too large (%ux%u)", w, h);
    return false;
  }
  TakeFormat(Run);

  // Sub-byte samples unpacked to one per byte; no other transformation, the sample rules
  // are ours (PngSamples.cpp).
  if (Run.Format.BitDepth < 8) png_set_packing(Run.Png);
  png_set_interlace_handling(Run.Png);
  png_read_update_info(Run.Png, Run.Info);

  const size_t rowBytes = png_get_rowbytes(Run.Png, Run.Info);
  Run.Rows.resize(rowBytes * h);
  Run.RowPointers.resize(h);
  for (png_uint_32 y = 0; y < h; ++y) Run.RowPointers[y] = Run.Rows.data() + rowBytes * y;
  png_read_image(Run.Png, Run.RowPointers.data());
  png_read_end(Run.Png, nullptr);

  Run.Picture.Width = static_cast<int>(w);
  Run.Picture.Height = static_cast<int>(h);
  Run.Picture.Pixels.resize(static_cast<size_t>(w) * h);
  for (png_uint_32 y = 0; y < h; ++y)
    ConvertPngRow(Run.Format, Run.RowPointers[y], static_cast<int>(w),
                  Run.Picture.Pixels.data() + static_cast<size_t>(w) * y);
  return true;
}

class StreamSource final : public PngSource {
 public:
  // A stream that can seek tells its size; the reading position is put back.
  explicit StreamSource(std::istream& S) : s_(S) {
    try {
      const std::streampos here = s_.tellg();
      if (here == std::streampos(-1)) return;
      const std::streampos end = s_.seekg(0, std::ios::end).tellg();
      s_.clear();
      s_.seekg(here);
      if (end != std::streampos(-1) && end >= here) size_ = static_cast<std::uint64_t>(end - here);
    } catch (...) {
      s_.clear();
    }
  }
  std::optional<std::uint64_t> Size() const noexcept override { return size_; }
  bool Read(std::uint8_t* Data, std::size_t Size) noexcept override {
    try {
      s_.read(reinterpret_cast<char*>(Data), static_cast<std::streamsize>(Size));
      return static_cast<std::size_t>(s_.gcount()) == Size;
    } catch (...) {
      return false;
    }
  }

 private:
  std::istream& s_;
  std::optional<std::uint64_t> size_;
};

}  // namespace

PngPicture ReadPngSource(PngSource& Source) {
  DecodeRun run;
  run.Source = &Source;
  run.SourceSize = Source.Size().value_or(UINT64_MAX);
  run.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &run, OnPngError, OnPngWarning);
  if (run.Png) run.Info = png_create_info_struct(run.Png);
  if (!run.Png || !run.Info) throw EPngError("Insufficient memory");
  if (!RunDecoder(run)) throw EPngError(run.Error);
  FinishPngPicture(run.Format, run.Picture);
  return std::move(run.Picture);
}

PngPicture ReadPngStream(std::istream& Stream) {
  StreamSource source(Stream);
  return ReadPngSource(source);
}

PngPicture ReadPngFile(const std::string& FileName) {
  const std::unique_ptr<PngSource> source = OpenPngFile(FileName);
  try {
    return ReadPngSource(*source);
  } catch (const EPngError& e) {
    // A bare "Read Error" after Connect reads like a fault of the serial line.
    throw EPngError("Cannot load picture \"" + FileName + "\". " + e.what());
  }
}

}  // namespace kelta::gfx
