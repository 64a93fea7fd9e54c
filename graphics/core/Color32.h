// 32-bit ARGB pixel: alpha in bits 24-31, then red, green, blue; straight (not premultiplied)
// alpha. In memory (little-endian) a pixel's bytes are B, G, R, A.
#pragma once

#include <cstdint>

namespace kelta::gfx {

using TColor32 = std::uint32_t;

constexpr TColor32 clWhite32 = 0xFFFFFFFFu;
constexpr TColor32 clBlack32 = 0xFF000000u;
constexpr TColor32 clTransparent32 = 0x00000000u;

constexpr std::uint32_t AlphaComponent(TColor32 C) { return C >> 24; }
constexpr std::uint32_t RedComponent(TColor32 C) { return (C >> 16) & 0xFFu; }
constexpr std::uint32_t GreenComponent(TColor32 C) { return (C >> 8) & 0xFFu; }
constexpr std::uint32_t BlueComponent(TColor32 C) { return C & 0xFFu; }

constexpr TColor32 Color32(std::uint32_t R, std::uint32_t G, std::uint32_t B,
                           std::uint32_t A = 0xFF) {
  return (A & 0xFFu) << 24 | (R & 0xFFu) << 16 | (G & 0xFFu) << 8 | (B & 0xFFu);
}

// A window-system colour: 0x00BBGGRR, or with the top bit set a system colour whose index is
// the low byte.
using TWinColor = std::int32_t;

constexpr TWinColor clWindowFrame = static_cast<TWinColor>(0x80000006u);
constexpr TWinColor cl3DDkShadow = static_cast<TWinColor>(0x80000015u);
constexpr TWinColor clBtnFace = static_cast<TWinColor>(0x8000000Fu);
constexpr TWinColor clWindow = static_cast<TWinColor>(0x80000005u);

// Current RGB (0x00BBGGRR) of a system colour index; the classic desktop scheme, since this
// platform has no system colour table of that kind.
std::uint32_t SysColorRGB(int Index);

// Opaque TColor32 of a window-system colour (system colours looked up first).
TColor32 WinColor(TWinColor Color);

}  // namespace kelta::gfx
