#pragma once
// The angle text of a data frame as a number.

#include <optional>
#include <string_view>

namespace kelta {

// The whole text, blanks (spaces) around it allowed, must be a decimal number: optional sign,
// digits with an optional "." fraction (at least one digit in all), optional exponent
// ("e"/"E", optional sign, digits). The decimal point is always "." whatever the process's
// locale: the wire format is fixed. Anything else (a frame that ran into the next one,
// "12.513.5"; noise; empty text), and values beyond the range of a double, give nothing: such a
// frame is not a reading, and must never be shown or recorded as one.
std::optional<double> AngleFromText(std::string_view text);

}  // namespace kelta
