#pragma once
// The trend as a picture, without a toolkit: the angle over a span of the trend store drawn
// into a 32-bit bitmap with the graphics core, so that every window shows the same pixels by
// putting the bitmap on screen at 1:1. Also the words and the files around it: the statistics
// line the windows show above the plot, the PNG of the picture and the span's CSV written in
// the background.
//
// The picture (width x height pixels, margins as below):
//   - white background; the plot's frame grey, a pixel inside the margins;
//   - a light grid: round values (1, 2 or 5 times a power of ten, about one line every 28
//     pixels) labelled in degrees left of the plot, six time lines labelled "-48 s" ... "now"
//     under it; the labels in a 5 x 7 pixel font built in here (digits, "-", ".", "°" and the
//     few letters the time labels need), so that no window's font decides how they look;
//   - where the connection was lost, the stretch without readings shaded (at least a pixel);
//   - per pixel column the column's first value, its extremes and its last value joined by
//     one-pixel lines, so each column's bar meets its neighbours; broken where a mark lies.
// Pixels: TColor32 0xAARRGGBB, alpha 255 everywhere; rows top first, Width() pixels apart.
//
// A paint costs the number of columns and grid lines, not the number of readings; no value,
// however far off the scale, sends a write outside the bitmap or a loop without end.
// GUI thread only, except TrendCsvSave's writer (see there).

#include "console/form/TrendBuffer.h"
#include "graphics/core/Bitmap32.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace kelta {

// What one picture shows: the span ending at `end`, and the value scale.
struct TrendView {
  double end = 0;
  double span = 10;
  // Fixed scale (low, high); none: the span's own extremes with a little room.
  std::optional<std::pair<double, double>> scale;
};

class TrendPicture {
 public:
  // Room for the value labels left of the plot and the time labels under it.
  static constexpr int kLeftMargin = 56;
  static constexpr int kRightMargin = 10;
  static constexpr int kTopMargin = 8;
  static constexpr int kBottomMargin = 22;

  static constexpr gfx::TColor32 kBackground = 0xFFFFFFFFu;
  static constexpr gfx::TColor32 kGrid = 0xFFE4E4E4u;
  static constexpr gfx::TColor32 kLabel = 0xFF808080u;
  static constexpr gfx::TColor32 kFrame = 0xFFA0A0A4u;
  static constexpr gfx::TColor32 kGap = 0xFFF2D8D8u;
  static constexpr gfx::TColor32 kLine = 0xFF0050C0u;

  // The plot inside a picture of that size (right and bottom exclusive); empty when the
  // picture is too small for one, and then only the background is drawn.
  static gfx::TRect PlotRect(int width, int height);

  // Draws the trend into the picture, resized to width x height (negative sizes count as 0).
  // The result stays valid until the next Draw.
  const gfx::TBitmap32& Draw(const TrendBuffer& trend, const TrendView& view, int width,
                             int height);
  const gfx::TBitmap32& Bitmap() const { return bitmap_; }

  // Saves the last drawing as PNG through the project's writer; the empty string when the
  // file was written, else why not (a partial file is removed).
  std::string SavePng(const std::string& path) const;

 private:
  gfx::TBitmap32 bitmap_;
};

// "12.3°": one decimal, "." as the decimal point.
std::string TrendDegrees(double value, int decimals = 1);
// A span as the labels name it: "48 s", "12 min".
std::string TrendSpanText(double seconds);
// The statistics line shown above the plot (UTF-8):
//   "current 12.3°   min -4.0°   max 45.1°   mean 20.12°   (2000 readings)"
// or "No readings in the last 10 s"; `rangeMissing` (the sensor's range chosen while it has
// none) adds "   (no sensor range yet: autoscaled)".
std::string TrendStatsText(const TrendBuffer::Stats& stats, double span, bool rangeMissing);

// Pixel width of a label in the built-in font (UTF-8; "°" is one character), and the label
// drawn with its top left corner at (x, y), cut to the bitmap's clip rectangle.
int TrendTextWidth(std::string_view text);
void DrawTrendText(gfx::TCustomBitmap32& bitmap, int x, int y, std::string_view text,
                   gfx::TColor32 color);
inline constexpr int kTrendTextHeight = 7;

// Writes samples to `path` (UTF-8) as the trend's CSV (kTrendCsvHeader, then TrendCsvLines),
// a block of lines at a time so that memory stays flat however long the span. The file is
// written beside the target under a temporary name and put in its place only when whole: a
// failure leaves an existing file as it was and no partial one. Returns the empty string when
// written, else why not.
std::string WriteTrendCsv(const std::string& path, const std::vector<TrendBuffer::Sample>& samples,
                          double start, std::chrono::system_clock::time_point wallAtStart);

// The span's CSV saved in the background, for a window that must stay live through an hour's
// millions of lines: Start copies the span's readings now (the store goes on filling
// meanwhile) and writes them on a thread of its own; `done` is called on that thread with
// WriteTrendCsv's outcome, and the window then calls Finish on its own thread. Start and
// Finish from one thread only.
class TrendCsvSave {
 public:
  using Done = std::function<void(const std::string& error)>;

  TrendCsvSave() = default;
  TrendCsvSave(const TrendCsvSave&) = delete;
  TrendCsvSave& operator=(const TrendCsvSave&) = delete;
  // Waits for a save still writing: the file is finished, not left half.
  ~TrendCsvSave();

  // The readings of [start, end]; false, starting nothing, while an earlier save runs.
  bool Start(const TrendBuffer& trend, double start, double end, const std::string& path,
             Done done);
  // True from Start until Finish (or the destructor) has waited for the writer.
  bool Running() const { return writer_.joinable(); }
  // Waits for the writer to end (at once after `done`).
  void Finish();

 private:
  std::thread writer_;
};

}  // namespace kelta
