// Text of a readout value: fixed point with exact decimal rounding, and its split into
// integer part, separator and fraction.
#pragma once

#include <string>
#include <string_view>

namespace kelta::sevenseg {

// |value| in fixed point with `precision` decimals (clamped to 0 .. 64) and `separator`
// as decimal mark, no grouping. Rounds the value's 18-significant-digit decimal expansion
// with halves away from zero, on the digit string itself, so 0.25 gives "0.3" and 9999.95
// gives "10000.0" regardless of how the binary value lies. Magnitudes of 1e18 and more
// keep 18 significant digits followed by zeros. Infinity and NaN give "INF" and "NAN".
std::string FormatMagnitude(double value, int precision, char separator);

struct NumberParts {
  std::string_view integer;
  std::string_view fraction;
  std::string_view separator;  // ".", "," or empty
};

// Splits on the first "."; failing that, on the first ","; failing that, no fraction.
NumberParts SplitNumberText(std::string_view text);

}  // namespace kelta::sevenseg
