#pragma once
// The angle text of a data frame as a number.

#include <string_view>

namespace kelta {

// The whole text, blanks (spaces) around it allowed, must be a decimal number: optional sign,
// digits with an optional "." fraction (at least one digit in all), optional exponent
// ("e"/"E", optional sign, digits). The decimal point is always "." whatever the process's
// locale: the wire format is fixed. Anything else, and values beyond the range of a double,
// give 0 (no error): the readout then shows 0.
double AngleFromText(std::string_view text);

}  // namespace kelta
