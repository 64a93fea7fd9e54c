#include "protocol/AngleText.h"

#include <charconv>

namespace kelta {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the number grammar at the start of text, 0 when there is none.
size_t NumberLength(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const size_t expStart = j;
    while (j < text.size() && IsDigit(text[j])) ++j;
    if (j == expStart) return 0;
    i = j;
  }
  return i;
}

}  // namespace

std::optional<double> AngleFromText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || NumberLength(text) != text.size()) return std::nullopt;
  // from_chars is locale-independent but takes no '+'.
  if (text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace kelta
