// Drawing surface used by every seven-segment painter. The core stays free of any GUI
// library: a Qt implementation paints on screen, a recording one lets tests read back
// every primitive.
#pragma once

#include <cstdint>
#include <span>

namespace kelta::sevenseg {

// Window-system colour, laid out 0x00BBGGRR (low byte red). Painters may set the
// palette-relative flag in the top byte; canvases use only the low 24 bits.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clWhite = 0xFFFFFF;

// Coordinates are 64-bit so that geometry from unclamped properties (margins, spacing,
// separation) can never overflow; canvases clamp when they hand them to a real device.
using Coord = std::int64_t;

struct Point {
  Coord x = 0;
  Coord y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  Coord x = 0;
  Coord y = 0;
  Coord w = 0;
  Coord h = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

enum TiBevelStyle : std::uint8_t { ibsNone, ibsRaised, ibsLowered };

class Canvas {
 public:
  virtual ~Canvas() = default;
  // Solid fill of x .. x+w-1, y .. y+h-1.
  virtual void FillRect(const Rect& r, TColor color) = 0;
  // Polygon filled and outlined in the same colour; the outline covers the pixels through
  // the vertices, so a degenerate polygon still paints its line.
  virtual void Polygon(std::span<const Point> points, TColor color) = 0;
  // Two-pixel light/dark edge around r.
  virtual void Bevel(const Rect& r, TiBevelStyle style) = 0;
};

}  // namespace kelta::sevenseg
