#pragma once
// Integer fields typed by the operator (count, interval, IDs, port number).

#include <cstdint>
#include <string>

namespace kelta {

// Optional leading spaces, an optional sign, then decimal digits up to the end of the text,
// within the 32-bit signed range ("007" is 7, "-3" is -3, " 5" is 5). Anything else, trailing
// blanks and the empty text included, throws EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(const std::string& text);

}  // namespace kelta
