// Builds small PNG files in memory for tests, with exactly the colour type, depth, palette and
// transparency chunk a case needs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelta::gfx::test {

struct TestPng {
  int Width = 1;
  int Height = 1;
  int ColorType = 2;  // PNG colour type
  int BitDepth = 8;
  bool Interlaced = false;
  // Rows top-down, one sample per value (sub-byte depths are packed by the writer, 16-bit
  // samples written big-endian).
  std::vector<std::vector<std::uint16_t>> Rows;
  std::vector<std::array<std::uint8_t, 3>> Palette;
  std::vector<std::uint8_t> PaletteAlpha;                // tRNS for palette pictures
  std::optional<std::array<std::uint16_t, 3>> KeyColor;  // tRNS for grey (first) / RGB
};

std::string EncodeTestPng(const TestPng& P);

// Signature, IHDR with any values (CRC made right), a tiny IDAT and IEND: for header checks.
std::string HeaderOnlyPng(std::uint32_t Width, std::uint32_t Height, int BitDepth, int ColorType);

}  // namespace kelta::gfx::test
