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

std::vector<png_byte> PackRow(const TestPng& P, const std::vector<std::uint16_t>& Row) {
  std::vector<png_byte> out;
  if (P.BitDepth == 16) {
    for (std::uint16_t v : Row) {
      out.push_back(static_cast<png_byte>(v >> 8));
      out.push_back(static_cast<png_byte>(v));
    }
  } else if (P.BitDepth == 8) {
    for (std::uint16_t v : Row) out.push_back(static_cast<png_byte>(v));
  } else {
    const int perByte = 8 / P.BitDepth;
    out.assign((Row.size() + perByte - 1) / perByte, 0);
    for (size_t i = 0; i < Row.size(); ++i) {
      const int shift = 8 - P.BitDepth * (static_cast<int>(i % perByte) + 1);
      out[i / perByte] |= static_cast<png_byte>(Row[i] << shift);
    }
  }
  return out;
}

bool Write(const TestPng& P, std::string& Out, std::vector<png_bytep>& Pointers) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &Out, Append, Flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(P.Width), static_cast<png_uint_32>(P.Height),
               P.BitDepth, P.ColorType, P.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (const auto& e : P.Palette) palette.push_back(png_color{e[0], e[1], e[2]});
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!P.PaletteAlpha.empty())
    png_set_tRNS(png, info, P.PaletteAlpha.data(), static_cast<int>(P.PaletteAlpha.size()),
                 nullptr);
  if (P.KeyColor) {
    png_color_16 key{};
    key.gray = (*P.KeyColor)[0];
    key.red = (*P.KeyColor)[0];
    key.green = (*P.KeyColor)[1];
    key.blue = (*P.KeyColor)[2];
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  png_write_image(png, Pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

void PutChunk(std::string& Out, const char* Type, const std::string& Data) {
  auto be32 = [&Out](std::uint32_t V) {
    for (int s = 24; s >= 0; s -= 8) Out.push_back(static_cast<char>(V >> s));
  };
  be32(static_cast<std::uint32_t>(Data.size()));
  const std::string body = std::string(Type, 4) + Data;
  Out += body;
  be32(static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

std::string EncodeTestPng(const TestPng& P) {
  std::vector<std::vector<png_byte>> packed;
  for (const auto& row : P.Rows) packed.push_back(PackRow(P, row));
  std::vector<png_bytep> pointers;
  for (auto& row : packed) pointers.push_back(row.data());
  std::string out;
  if (!Write(P, out, pointers)) throw std::runtime_error("test PNG could not be written");
  return out;
}

std::string HeaderOnlyPng(std::uint32_t Width, std::uint32_t Height, int BitDepth, int ColorType) {
  std::string out("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  for (std::uint32_t v : {Width, Height})
    for (int s = 24; s >= 0; s -= 8) ihdr.push_back(static_cast<char>(v >> s));
  ihdr += {static_cast<char>(BitDepth), static_cast<char>(ColorType), 0, 0, 0};
  PutChunk(out, "IHDR", ihdr);
  PutChunk(out, "IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8));
  PutChunk(out, "IEND", "");
  return out;
}

}  // namespace kelta::gfx::test
