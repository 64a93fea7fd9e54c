#include "protocol/StrToInt.h"

#include "base/Errors.h"

namespace kelta {

int32_t StrToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate the magnitude in 64 bits, stopping as soon as it leaves the 32-bit range, so
  // that "-2147483648" is accepted and nothing overflows however long the text is.
  const uint64_t limit = negative ? 2147483648u : 2147483647u;
  uint64_t magnitude = 0;
  const size_t firstDigit = i;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') break;
    magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
    if (magnitude > limit) break;
  }
  if (i == firstDigit || i != text.size() || magnitude > limit)
    throw EConvertError("'" + text + "' is not a valid integer value");
  return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(magnitude))
                  : static_cast<int32_t>(magnitude);
}

}  // namespace kelta
