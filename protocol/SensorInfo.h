#pragma once
// The sensor information reply: one line of 21 comma-separated items, each a tag and a value.

#include <array>
#include <cstdint>
#include <string>

namespace kelta {

// Hexadecimal text to a number, left to right, value * 16 + digit with 32-bit wrap-around.
// Digits: "0"-"9" 0-9, "A"-"F" and "a"-"f" 10-15; any other character below "A" gives its
// code minus 48 (":" is 10, " " is -16), any other above gives its code minus 55 (as if the
// letters went on). "" is 0.
int32_t HexToInt(const std::string& text);

struct SensorInfo {
  // Item texts in reply order, 0-based: [0] version, [1] ID as signed decimal text
  // (HexToInt of the item minus 176), [2] direction mode, [3] calibration state, [4] zero
  // offset, [5] negative range, [6] positive range as sent ("0" stands for 3600), [7] mV gain,
  // [8] mV offset, [9]-[18] coefficients 0-9, [19] coefficient A, [20] coefficient B.
  std::array<std::string, 21> items;
  int32_t id = 0;  // the number behind items[1]
  // The ID item as sent was a sensor address: two hexadecimal digits from B0 to FD (ID 0 to
  // 77). Anything else (noise, a reply that lost a comma) names no sensor at all.
  bool idValid = false;
};

inline constexpr size_t kInfoVersion = 0, kInfoId = 1, kInfoMode = 2, kInfoPositiveRange = 6,
                        kInfoNegativeRange = 5;

// Cuts the line by position, tags unchecked: a value runs from after its tag to the next
// comma, and an item without a comma after it is empty; item 21 runs from the fourth
// character of the remaining text to its second-last. Any line, however short, is safe.
SensorInfo ParseSensorInfo(const std::string& line);

}  // namespace kelta
