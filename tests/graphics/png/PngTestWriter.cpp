#include "tests/graphics/png/PngTestWriter.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <stdexcept>

namespace kelta::gfx::test {
namespace {

void Append(png_structp Png, png_bytep Data, size_t Size) {
  static_cast<std::string*>(png_get_io_ptr(Png))->append(reinterpret_cast<char*>(Data), Size);
}

void Flush(png_structp) {}

std::vector<png_byte> PackRow(const TTestPng& P, const std::vector<std::uint16_t>& Row) {
  std::vector<png_byte> Out;
  if (P.BitDepth == 16) {
    for (std::uint16_t V : Row) {
      Out.push_back(static_cast<png_byte>(V >> 8));
      Out.push_back(static_cast<png_byte>(V));
    }
  } else if (P.BitDepth == 8) {
    for (std::uint16_t V : Row) Out.push_back(static_cast<png_byte>(V));
  } else {
    const int PerByte = 8 / P.BitDepth;
    Out.assign((Row.size() + PerByte - 1) / PerByte, 0);
    for (size_t I = 0; I < Row.size(); ++I) {
      const int Shift = 8 - P.BitDepth * (static_cast<int>(I % PerByte) + 1);
      Out[I / PerByte] |= static_cast<png_byte>(Row[I] << Shift);
    }
  }
  return Out;
}

bool Write(const TTestPng& P, std::string& Out, std::vector<png_bytep>& Pointers) {
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_write_struct(&Png, &Info);
    return false;
  }
  png_set_write_fn(Png, &Out, Append, Flush);
  png_set_IHDR(Png, Info, static_cast<png_uint_32>(P.Width), static_cast<png_uint_32>(P.Height),
               P.BitDepth, P.ColorType, P.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> Palette;
  for (const auto& E : P.Palette) Palette.push_back(png_color{E[0], E[1], E[2]});
  if (!Palette.empty()) png_set_PLTE(Png, Info, Palette.data(), static_cast<int>(Palette.size()));
  if (!P.PaletteAlpha.empty())
    png_set_tRNS(Png, Info, P.PaletteAlpha.data(), static_cast<int>(P.PaletteAlpha.size()),
                 nullptr);
  if (P.KeyColor) {
    png_color_16 Key{};
    Key.gray = (*P.KeyColor)[0];
    Key.red = (*P.KeyColor)[0];
    Key.green = (*P.KeyColor)[1];
    Key.blue = (*P.KeyColor)[2];
    png_set_tRNS(Png, Info, nullptr, 0, &Key);
  }
  png_write_info(Png, Info);
  png_write_image(Png, Pointers.data());
  png_write_end(Png, nullptr);
  png_destroy_write_struct(&Png, &Info);
  return true;
}

void PutChunk(std::string& Out, const char* Type, const std::string& Data) {
  auto Be32 = [&Out](std::uint32_t V) {
    for (int S = 24; S >= 0; S -= 8) Out.push_back(static_cast<char>(V >> S));
  };
  Be32(static_cast<std::uint32_t>(Data.size()));
  const std::string Body = std::string(Type, 4) + Data;
  Out += Body;
  Be32(static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(Body.data()), static_cast<uInt>(Body.size()))));
}

}  // namespace

std::string EncodeTestPng(const TTestPng& P) {
  std::vector<std::vector<png_byte>> Packed;
  for (const auto& Row : P.Rows) Packed.push_back(PackRow(P, Row));
  std::vector<png_bytep> Pointers;
  for (auto& Row : Packed) Pointers.push_back(Row.data());
  std::string Out;
  if (!Write(P, Out, Pointers)) throw std::runtime_error("test PNG could not be written");
  return Out;
}

std::string HeaderOnlyPng(std::uint32_t Width, std::uint32_t Height, int BitDepth, int ColorType) {
  std::string Out("\x89PNG\r\n\x1a\n", 8);
  std::string Ihdr;
  for (std::uint32_t V : {Width, Height})
    for (int S = 24; S >= 0; S -= 8) Ihdr.push_back(static_cast<char>(V >> S));
  Ihdr += {static_cast<char>(BitDepth), static_cast<char>(ColorType), 0, 0, 0};
  PutChunk(Out, "IHDR", Ihdr);
  PutChunk(Out, "IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8));
  PutChunk(Out, "IEND", "");
  return Out;
}

}  // namespace kelta::gfx::test
