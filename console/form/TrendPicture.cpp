#include "console/form/TrendPicture.h"

#include "graphics/core/Polygon.h"
#include "graphics/png/PngWriter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

namespace kelta {

namespace {

using gfx::TColor32;
using gfx::TCustomBitmap32;
using gfx::TPoint;
using gfx::TRect;

// --- The labels' font: 5 x 7 pixel glyphs, a bit per pixel, the leftmost pixel the highest of
// the glyph's width; one blank column between glyphs.

struct Glyph {
  char32_t code;
  int width;
  std::array<std::uint8_t, kTrendTextHeight> rows;
};

constexpr Glyph kGlyphs[] = {
    {U'0', 5, {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110}},
    {U'1', 5, {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110}},
    {U'2', 5, {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111}},
    {U'3', 5, {0b11111, 0b00010, 0b00100, 0b00010, 0b00001, 0b10001, 0b01110}},
    {U'4', 5, {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010}},
    {U'5', 5, {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110}},
    {U'6', 5, {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110}},
    {U'7', 5, {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000}},
    {U'8', 5, {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110}},
    {U'9', 5, {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100}},
    {U'-', 4, {0b0000, 0b0000, 0b0000, 0b1111, 0b0000, 0b0000, 0b0000}},
    {U'.', 2, {0b00, 0b00, 0b00, 0b00, 0b00, 0b11, 0b11}},
    {U'\u00B0', 4, {0b0110, 0b1001, 0b1001, 0b0110, 0b0000, 0b0000, 0b0000}},
    {U' ', 2, {0, 0, 0, 0, 0, 0, 0}},
    {U'h', 5, {0b10000, 0b10000, 0b10110, 0b11001, 0b10001, 0b10001, 0b10001}},
    {U'i', 3, {0b010, 0b000, 0b110, 0b010, 0b010, 0b010, 0b111}},
    {U'm', 5, {0b00000, 0b00000, 0b11010, 0b10101, 0b10101, 0b10001, 0b10001}},
    {U'n', 5, {0b00000, 0b00000, 0b10110, 0b11001, 0b10001, 0b10001, 0b10001}},
    {U'o', 5, {0b00000, 0b00000, 0b01110, 0b10001, 0b10001, 0b10001, 0b01110}},
    {U's', 5, {0b00000, 0b00000, 0b01111, 0b10000, 0b01110, 0b00001, 0b11110}},
    {U'w', 5, {0b00000, 0b00000, 0b10001, 0b10001, 0b10101, 0b10101, 0b01010}},
};

// A character without a glyph takes a blank of this width.
constexpr Glyph kBlank = {U'?', 4, {0, 0, 0, 0, 0, 0, 0}};

const Glyph& GlyphOf(char32_t code) {
  for (const Glyph& g : kGlyphs)
    if (g.code == code) return g;
  return kBlank;
}

// The characters of UTF-8 text; a broken sequence gives one unknown character per byte.
template <typename Each>
void ForEachChar(std::string_view text, Each each) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size()) {
      each(U'?');
      ++i;
      continue;
    }
    char32_t code = extra == 0 ? b : (b & (0x3F >> extra));
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((c & 0xC0) != 0x80) ok = false;
      code = code << 6 | (c & 0x3F);
    }
    each(ok ? code : U'?');
    i += ok ? static_cast<std::size_t>(extra) + 1 : 1;
  }
}

// --- Drawing helpers, every one cut to the bitmap's clip rectangle.

TRect Drawable(const TCustomBitmap32& bitmap) {
  return gfx::Intersect(bitmap.ClipRect(), bitmap.BoundsRect());
}

void FillRect(TCustomBitmap32& bitmap, TRect r, TColor32 color) {
  r = gfx::Intersect(r, Drawable(bitmap));
  if (r.IsEmpty()) return;
  for (int y = r.Top; y < r.Bottom; ++y) {
    TColor32* row = bitmap.ScanLine(y);
    std::fill(row + r.Left, row + r.Right, color);
  }
}

// Round steps (1, 2 or 5 times a power of ten) for about `count` grid lines over `range`.
double GridStep(double range, int count) {
  const double raw = range / std::max(count, 1);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (raw <= m * power) return m * power;
  return 10 * power;
}

std::string Number(double value, std::chars_format format, int precision) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, value, format, precision);
  return r.ec == std::errc() ? std::string(text, r.ptr) : std::string("?");
}

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

}  // namespace

int TrendTextWidth(std::string_view text) {
  int width = 0, count = 0;
  ForEachChar(text, [&](char32_t code) {
    width += GlyphOf(code).width;
    ++count;
  });
  return count == 0 ? 0 : width + count - 1;
}

void DrawTrendText(TCustomBitmap32& bitmap, int x, int y, std::string_view text, TColor32 color) {
  const TRect clip = Drawable(bitmap);
  ForEachChar(text, [&](char32_t code) {
    const Glyph& g = GlyphOf(code);
    for (int row = 0; row < kTrendTextHeight; ++row) {
      const int py = y + row;
      if (py < clip.Top || py >= clip.Bottom) continue;
      for (int col = 0; col < g.width; ++col) {
        const int px = x + col;
        if (px < clip.Left || px >= clip.Right) continue;
        if (g.rows[static_cast<std::size_t>(row)] >> (g.width - 1 - col) & 1)
          bitmap.SetPixel(px, py, color);
      }
    }
    x += g.width + 1;
  });
}

std::string TrendDegrees(double value, int decimals) {
  return Number(value, std::chars_format::fixed, decimals) + "\u00B0";
}

std::string TrendSpanText(double seconds) {
  if (seconds >= 60) return Number(seconds / 60, std::chars_format::general, 3) + " min";
  return Number(seconds, std::chars_format::general, 3) + " s";
}

std::string TrendStatsText(const TrendBuffer::Stats& stats, double span, bool rangeMissing) {
  std::string text;
  if (stats.count == 0) {
    text = "No readings in the last " + TrendSpanText(span);
  } else {
    text = "current " + TrendDegrees(stats.current) + "   min " + TrendDegrees(stats.min) +
           "   max " + TrendDegrees(stats.max) + "   mean " + TrendDegrees(stats.mean, 2) + "   (" +
           std::to_string(stats.count) + " readings)";
  }
  if (rangeMissing) text += "   (no sensor range yet: autoscaled)";
  return text;
}

TRect TrendPicture::PlotRect(int width, int height) {
  const TRect plot{kLeftMargin, kTopMargin, width - kRightMargin, height - kBottomMargin};
  if (plot.Width() < 2 || plot.Height() < 2) return {};
  return plot;
}

const gfx::TBitmap32& TrendPicture::Draw(const TrendBuffer& trend, const TrendView& view, int width,
                                         int height) {
  bitmap_.SetSize(std::max(width, 0), std::max(height, 0));
  bitmap_.SetClipRect(bitmap_.BoundsRect());
  bitmap_.Fill(kBackground);
  const TRect plot = PlotRect(bitmap_.Width(), bitmap_.Height());
  if (plot.IsEmpty()) return bitmap_;
  // The plot's first and last pixel columns and rows.
  const int left = plot.Left, top = plot.Top, right = plot.Right - 1, bottom = plot.Bottom - 1;
  const int columns = plot.Width();
  const double span = view.span > 0 ? view.span : 1;
  const double start = view.end - span;
  const std::vector<TrendBuffer::Column> cols = trend.Decimate(start, view.end, columns);

  // The value scale: fixed, or the span's extremes with a little room.
  double low = -1, high = 1;
  if (view.scale) {
    std::tie(low, high) = *view.scale;
  } else {
    bool any = false;
    for (const TrendBuffer::Column& c : cols) {
      if (c.count == 0) continue;
      low = any ? std::min<double>(low, c.min) : c.min;
      high = any ? std::max<double>(high, c.max) : c.max;
      any = true;
    }
    const double pad = std::max((high - low) * 0.05, 0.5);
    low -= pad;
    high += pad;
  }
  if (!(high > low) || !std::isfinite(high - low)) {
    // No usable scale (equal ends, infinities, values so large that half a degree of room
    // vanishes in them): room around the low end if it is a number, else the default.
    if (!std::isfinite(low)) low = 0;
    const double room = std::max(1.0, std::abs(low) * 1e-9);
    high = low + room;
    low -= room;
  }
  // Held just outside the plot, so that a reading far off a fixed scale is a coordinate like
  // any other; the clip rectangle keeps it off the margins.
  const auto yOf = [&](double v) {
    const double y = bottom - (v - low) / (high - low) * (plot.Height() - 1);
    if (std::isnan(y)) return bottom + 2;
    return static_cast<int>(std::lround(std::clamp(y, top - 2.0, bottom + 2.0)));
  };
  const auto xOf = [&](double t) {
    const double x = left + (t - start) / span * (columns - 1);
    return std::clamp(x, left - 2.0, right + 2.0);
  };

  // Grid and labels: the values' lines counted by whole steps, never more than the plot has
  // rows, so that values too large for their step to move them end the loop too.
  const double step = GridStep(high - low, std::max(plot.Height() / 28, 2));
  const double firstLine = std::ceil(low / step), lastLine = std::floor(high / step);
  for (int i = 0; i <= plot.Height() && firstLine + i <= lastLine; ++i) {
    const double v = (firstLine + i) * step;
    const int y = yOf(v);
    FillRect(bitmap_, {left, y, right + 1, y + 1}, kGrid);
    const std::string text = TrendDegrees(std::abs(v) < step / 2 ? 0 : v);
    DrawTrendText(bitmap_, kLeftMargin - 4 - TrendTextWidth(text), y - kTrendTextHeight / 2, text,
                  kLabel);
  }
  for (int i = 0; i <= 5; ++i) {
    const int x = left + (columns - 1) * i / 5;
    FillRect(bitmap_, {x, top, x + 1, bottom + 1}, kGrid);
    const std::string text = i == 5 ? "now" : "-" + TrendSpanText(span * (5 - i) / 5);
    DrawTrendText(bitmap_, x - TrendTextWidth(text) / 2, bottom + 5, text, kLabel);
  }

  bitmap_.SetClipRect(plot);
  // Where the connection was lost: shaded, at least a pixel wide.
  for (const TrendBuffer::Gap& g : trend.Gaps(start, view.end)) {
    const double x0 = xOf(g.from);
    const double x1 = std::max(xOf(g.to), x0 + 1);
    const int c0 = static_cast<int>(std::floor(x0 + 0.5));
    const int c1 = std::max(static_cast<int>(std::floor(x1 + 0.5)), c0 + 1);
    FillRect(bitmap_, {c0, top, c1, bottom + 1}, kGap);
  }
  // The line: per column its first value, its extremes and its last, so a column's bar joins
  // its neighbours; broken where the connection was lost.
  bool drawn = false;  // the line has a point to go on from
  TPoint last;
  const auto lineTo = [&](TPoint p) {
    if (drawn)
      gfx::DrawLineInclusive(bitmap_, last, p, kLine);
    else
      gfx::DrawLineInclusive(bitmap_, p, p, kLine);
    last = p;
    drawn = true;
  };
  for (int c = 0; c < columns; ++c) {
    const TrendBuffer::Column& col = cols[static_cast<std::size_t>(c)];
    if (col.count == 0) continue;
    if (col.breakBefore) drawn = false;
    const int x = left + c;
    lineTo({x, yOf(col.first)});
    if (col.count > 2) {
      const bool rising = col.last >= col.first;
      lineTo({x, yOf(rising ? col.min : col.max)});
      lineTo({x, yOf(rising ? col.max : col.min)});
    }
    if (col.count > 1) lineTo({x, yOf(col.last)});
  }
  bitmap_.SetClipRect(bitmap_.BoundsRect());

  FillRect(bitmap_, {left, top, right + 1, top + 1}, kFrame);
  FillRect(bitmap_, {left, bottom, right + 1, bottom + 1}, kFrame);
  FillRect(bitmap_, {left, top, left + 1, bottom + 1}, kFrame);
  FillRect(bitmap_, {right, top, right + 1, bottom + 1}, kFrame);
  return bitmap_;
}

std::string TrendPicture::SavePng(const std::string& path) const {
  try {
    gfx::SavePngFile(bitmap_, path);
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}

std::string WriteTrendCsv(const std::string& path, const std::vector<TrendBuffer::Sample>& samples,
                          double start, std::chrono::system_clock::time_point wallAtStart) {
  namespace fs = std::filesystem;
  const fs::path target = PathOf(path);
  fs::path temp = target;
  temp += ".part";
  std::error_code ec;
  const auto fail = [&](const std::string& what) {
    fs::remove(temp, ec);
    return what;
  };
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  if (!out) return fail("cannot create \"" + path + ".part\" beside it");
  // Lines in blocks of about a megabyte: memory stays flat however long the span.
  constexpr std::size_t kBlockBytes = 1 << 20;
  std::string block = kTrendCsvHeader;
  block.reserve(kBlockBytes + 256);
  TrendCsvLines lines(start, wallAtStart);
  for (const TrendBuffer::Sample& sample : samples) {
    lines.Append(block, sample);
    if (block.size() >= kBlockBytes) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
      if (!out) return fail("cannot write (disk full?)");
    }
  }
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
  out.close();
  if (!out) return fail("cannot write (disk full?)");
  fs::rename(temp, target, ec);
  if (ec) {
    const std::string why = ec.message();
    return fail("cannot put the file in place: " + why);
  }
  return {};
}

TrendCsvSave::~TrendCsvSave() { Finish(); }

bool TrendCsvSave::Start(const TrendBuffer& trend, double start, double end,
                         const std::string& path, Done done) {
  if (Running()) return false;
  // The store's clock is a steady one; the calendar time of the span's start from now.
  const auto wallAtStart = std::chrono::system_clock::now() -
                           std::chrono::duration_cast<std::chrono::system_clock::duration>(
                               std::chrono::duration<double>(trend.Now() - start));
  // The copy is the whole of the caller's part (an hour is some 60 MB, copied in tens of
  // milliseconds); the ring overwrites its oldest readings while the lines are written.
  auto samples =
      std::make_shared<const std::vector<TrendBuffer::Sample>>(trend.Samples(start, end));
  writer_ = std::thread([samples, path, start, wallAtStart, done = std::move(done)] {
    const std::string error = WriteTrendCsv(path, *samples, start, wallAtStart);
    if (done) done(error);
  });
  return true;
}

void TrendCsvSave::Finish() {
  if (writer_.joinable()) writer_.join();
}

}  // namespace kelta
