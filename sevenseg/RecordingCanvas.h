// Canvas that keeps every call, for tests and for comparing painters.
#pragma once

#include <vector>

#include "sevenseg/SevenSegmentCanvas.h"

namespace kelta::sevenseg {

struct RecordedOp {
  enum Kind : std::uint8_t { kFillRect, kPolygon, kBevel };
  Kind kind = kFillRect;
  TColor color = 0;
  Rect rect;                     // kFillRect, kBevel
  TiBevelStyle bevel = ibsNone;  // kBevel
  std::vector<Point> points;     // kPolygon
};

class RecordingCanvas final : public Canvas {
 public:
  void FillRect(const Rect& r, TColor color) override;
  void Polygon(std::span<const Point> points, TColor color) override;
  void Bevel(const Rect& r, TiBevelStyle style) override;

  const std::vector<RecordedOp>& Ops() const { return ops_; }
  std::vector<RecordedOp> Polygons() const;
  void Clear() { ops_.clear(); }

 private:
  std::vector<RecordedOp> ops_;
};

}  // namespace kelta::sevenseg
