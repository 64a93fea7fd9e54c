#include "sevenseg/RecordingCanvas.h"

namespace kelta::sevenseg {

void RecordingCanvas::FillRect(const Rect& r, TColor color) {
  RecordedOp op;
  op.kind = RecordedOp::kFillRect;
  op.color = color;
  op.rect = r;
  ops_.push_back(std::move(op));
}

void RecordingCanvas::Polygon(std::span<const Point> points, TColor color) {
  RecordedOp op;
  op.kind = RecordedOp::kPolygon;
  op.color = color;
  op.points.assign(points.begin(), points.end());
  ops_.push_back(std::move(op));
}

void RecordingCanvas::Bevel(const Rect& r, TiBevelStyle style) {
  RecordedOp op;
  op.kind = RecordedOp::kBevel;
  op.rect = r;
  op.bevel = style;
  ops_.push_back(std::move(op));
}

std::vector<RecordedOp> RecordingCanvas::Polygons() const {
  std::vector<RecordedOp> out;
  for (const RecordedOp& op : ops_) {
    if (op.kind == RecordedOp::kPolygon) out.push_back(op);
  }
  return out;
}

}  // namespace kelta::sevenseg
