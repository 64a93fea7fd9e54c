// Vertex rules of the seven segments and of the shape glyphs inside one cell.
// All coordinates come out relative to the cell origin's top-left plus (x0, y0).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "sevenseg/SevenSegmentCanvas.h"
#include "sevenseg/SevenSegmentGlyphs.h"

namespace kelta::sevenseg {

// Round to nearest, ties to even, independent of the FPU rounding mode.
Coord RoundHalfEven(double v);

struct CellGeometry {
  Coord x0 = 0, y0 = 0;  // cell origin
  Coord w = 0, h = 0;    // cell size
  Coord margin = 0;      // M
  Coord separation = 0;  // Sp
  Coord size = 1;        // S, half the stroke width
};

// At most six vertices (the middle segment is a hexagon); no allocation on the paint path.
struct SegPolygon {
  std::array<Point, 6> pts{};
  int count = 0;
  std::span<const Point> Points() const { return {pts.data(), static_cast<std::size_t>(count)}; }
};

enum Segment : std::uint8_t { kA, kB, kC, kD, kE, kF, kG };

SegPolygon SegmentPolygon(Segment s, const CellGeometry& g);

// Shapes drawn instead of segments. Up to three polygons each (semicolon).
enum class Shape : std::uint8_t {
  kPeriod,
  kColon,
  kSemiColon,
  kComma,
  kPlus,
  kMinus,
  kLine,
  kUpArrow,
  kDownArrow
};

struct ShapePolygons {
  std::array<SegPolygon, 3> polys{};
  int count = 0;
};

ShapePolygons ShapeGeometry(Shape shape, const CellGeometry& g);

}  // namespace kelta::sevenseg
