#include "sevenseg/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kelta::sevenseg {

namespace {

constexpr int kSignificant = 18;

// Adds one unit in the last place of a decimal digit string.
void IncrementDigits(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
}

}  // namespace

std::string FormatMagnitude(double value, int precision, char separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return "INF";
  precision = std::clamp(precision, 0, 64);

  // "%.17e" gives exactly 18 significant digits, correctly rounded from the binary value:
  // d.ddddddddddddddddde[+-]XX. Further rounding happens on these digits only, never on
  // the binary value, so a double just below a half does not round down by accident.
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17e", std::fabs(value));
  std::string sig;
  sig.reserve(kSignificant);
  sig += buf[0];
  sig.append(buf + 2, kSignificant - 1);
  const int exp10 = std::atoi(buf + 2 + kSignificant - 1 + 1);

  // Digits of round(|value| * 10^precision): the first `keep` significant digits.
  const long keep = long{exp10} + 1 + precision;
  std::string scaled;
  if (keep >= kSignificant) {
    scaled = sig;
    scaled.append(static_cast<std::size_t>(keep - kSignificant), '0');
  } else if (keep >= 0) {
    scaled.assign(sig, 0, static_cast<std::size_t>(keep));
    if (sig[static_cast<std::size_t>(keep)] >= '5') {
      IncrementDigits(scaled);  // half away from zero on a magnitude: round up
    }
    if (scaled.empty()) scaled = "0";
  } else {
    scaled = "0";
  }

  const auto firstNonZero = scaled.find_first_not_of('0');
  scaled.erase(0, std::min(firstNonZero, scaled.size() - 1));
  const auto width = static_cast<std::size_t>(precision) + 1;
  if (scaled.size() < width) scaled.insert(0, width - scaled.size(), '0');

  std::string text = scaled.substr(0, scaled.size() - static_cast<std::size_t>(precision));
  if (precision > 0) {
    text += separator;
    text.append(scaled, scaled.size() - static_cast<std::size_t>(precision));
  }
  return text;
}

NumberParts SplitNumberText(std::string_view text) {
  for (char sep : {'.', ','}) {
    const auto pos = text.find(sep);
    if (pos != std::string_view::npos) {
      return {text.substr(0, pos), text.substr(pos + 1), text.substr(pos, 1)};
    }
  }
  return {text, {}, {}};
}

}  // namespace kelta::sevenseg
