// Canvas on a TBitmap32, drawn with the graphics core's aliased polygons: no window system, so
// a readout can be drawn into a frame a native window blits, or a picture written to a file.
// The pixels are those of the Qt canvas for the same calls (tests compare the two), except
// where a slanted edge not at 45 degrees passes exactly through a pixel's centre: Qt's outline
// there depends on the edge drawn before it (the arrows in squat cells; no digit or sign).
#pragma once

#include "graphics/core/Bitmap32.h"
#include "sevenseg/SevenSegmentCanvas.h"

namespace kelta::sevenseg {

// 0x00BBGGRR to the bitmap's opaque 0xFFRRGGBB.
gfx::TColor32 ToColor32(TColor c);

class BitmapCanvas final : public Canvas {
 public:
  // Draws with its origin at Area's top-left, touching only Area (as a widget of that size
  // would). The bitmap's clip rectangle is set to Area for the canvas's life and restored
  // after it; the bitmap must outlive the canvas.
  BitmapCanvas(gfx::TCustomBitmap32& target, const gfx::TRect& area);
  ~BitmapCanvas() override;
  BitmapCanvas(const BitmapCanvas&) = delete;
  BitmapCanvas& operator=(const BitmapCanvas&) = delete;

  void FillRect(const Rect& r, TColor color) override;
  void Polygon(std::span<const Point> points, TColor color) override;
  void Bevel(const Rect& r, TiBevelStyle style) override;

 private:
  gfx::TCustomBitmap32& target_;
  gfx::TRect area_;
  gfx::TRect savedClip_;
};

}  // namespace kelta::sevenseg
