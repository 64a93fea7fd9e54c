#include "sevenseg/AnalogLayout.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "sevenseg/NumberText.h"
#include "sevenseg/SevenSegmentGeometry.h"

namespace kelta::sevenseg {

void LayoutAnalog(const AnalogLayoutParams& p, std::vector<CellDraw>& out) {
  out.clear();
  // Same bounds as the control's setters, so a raw caller cannot ask for unbounded text.
  const std::int64_t digits = std::clamp(p.digitCount, 1, 32);
  const int precision = std::clamp(p.precision, 0, 13);
  const std::int64_t n = p.showSign ? digits + 1 : digits;
  const std::int64_t spacing = p.digitSpacing;
  const std::int64_t margin = p.segmentMargin;
  // 64-bit throughout: margin and spacing are not bounded above.
  const std::int64_t cw = (p.width - 2 * margin - (n - 1) * spacing) / n;
  const std::int64_t ch = p.height - 2 * margin;
  std::int64_t x = (p.width - n * (cw + spacing) + spacing) / 2;
  const std::int64_t y = margin;
  auto put = [&](TSevenSegmentCharacter g) {
    out.push_back({g, Rect{x, y, cw, ch}});
    x += cw + spacing;
  };

  // Negative zero counts as positive; NaN as negative.
  const bool nonNegative = p.value >= 0.0;
  if (p.showSign) put(nonNegative ? sscPlus : sscMinus);

  const std::string text = FormatMagnitude(p.value, precision, p.decimalSeparator);
  const auto length = static_cast<std::int64_t>(text.size());
  const bool overflow = precision == 0 ? length > digits : length > digits + 1;
  // Infinity and NaN have no digits to show; they read as out of range.
  if (overflow || !std::isfinite(p.value)) {
    for (std::int64_t i = 0; i < digits; ++i) put(nonNegative ? sscUpArrow : sscDownArrow);
    return;
  }

  const NumberParts parts = SplitNumberText(text);
  std::string integer(parts.integer);
  const std::int64_t minLength = digits - precision;
  if (p.leadingStyle != ilsNone && static_cast<std::int64_t>(integer.size()) < minLength) {
    const char fill = p.leadingStyle == ilsZeros ? '0' : ' ';
    integer.insert(0, static_cast<std::size_t>(minLength) - integer.size(), fill);
  }
  for (char c : integer) put(CharToGlyph(c));

  if (precision > 0 && digits > 1) {
    // The mark sits in the gap left of the first fraction cell and does not advance the pen.
    const Coord left =
        x - RoundHalfEven(static_cast<double>(cw) / 10.0 + static_cast<double>(spacing) / 2.0);
    out.push_back({parts.separator == "." ? sscPeriod : sscComma, Rect{left, y, cw / 5, ch}});

    std::string fraction(parts.fraction);
    if (static_cast<std::int64_t>(fraction.size()) > precision)
      fraction.resize(static_cast<std::size_t>(precision));
    if (static_cast<std::int64_t>(fraction.size()) < precision) {
      fraction.insert(0, static_cast<std::size_t>(precision) - fraction.size(), '0');
    }
    const auto shown =
        std::min<std::int64_t>(static_cast<std::int64_t>(fraction.size()), digits - 1);
    for (std::int64_t i = 0; i < shown; ++i)
      put(CharToGlyph(fraction[static_cast<std::size_t>(i)]));
  }
}

Size64 AnalogNaturalSize(std::int64_t glyphW, std::int64_t glyphH, int digitCount, bool showSign,
                         int digitSpacing, int segmentMargin) {
  const std::int64_t n = showSign ? std::int64_t{digitCount} + 1 : digitCount;
  return {(glyphW + digitSpacing) * n + 2 * std::int64_t{segmentMargin} - digitSpacing,
          glyphH + 2 * std::int64_t{segmentMargin}};
}

}  // namespace kelta::sevenseg
