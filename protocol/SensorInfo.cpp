#include "protocol/SensorInfo.h"

#include <string_view>

namespace kelta {

namespace {

// Item tag lengths 2 to 21; the version (item 1) is fixed at characters 3 to 6.
constexpr size_t kTagLength[21] = {2, 2, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3};

// 1-based substring that clips at both ends instead of reading past the text.
std::string_view Copy(std::string_view s, size_t index, long long count) {
  if (index < 1 || index > s.size() || count <= 0) return {};
  return s.substr(index - 1, static_cast<size_t>(count));
}

// Two hexadecimal digits (either case) from B0 to FD: the address byte 0xB0 + ID of a sensor.
bool IsSensorAddress(std::string_view text) {
  if (text.size() != 2) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
  const int32_t value = HexToInt(std::string(text));
  return value >= 0xB0 && value <= 0xFD;
}

}  // namespace

int32_t HexToInt(const std::string& text) {
  uint32_t value = 0;  // unsigned: wraps instead of overflowing
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    uint32_t digit;
    if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10u;
    else if (c < 'A')
      digit = static_cast<uint32_t>(c) - 48u;  // below '0' this wraps to the negative digit
    else
      digit = static_cast<uint32_t>(c) - 55u;
    value = value * 16u + digit;
  }
  return static_cast<int32_t>(value);
}

SensorInfo ParseSensorInfo(const std::string& line) {
  SensorInfo info;
  std::string_view rest = line;
  info.items[0] = std::string(Copy(rest, 3, 4));
  for (size_t item = 1; item < 21; ++item) {
    const size_t comma = rest.find(',');
    if (comma != std::string_view::npos) rest.remove_prefix(comma + 1);
    const long long tag = static_cast<long long>(kTagLength[item]);
    std::string_view value;
    if (item < 20) {
      const size_t next = rest.find(',');
      const long long end = next == std::string_view::npos ? 0 : static_cast<long long>(next) + 1;
      value = Copy(rest, static_cast<size_t>(tag) + 1, end - tag - 1);
    } else {
      value =
          Copy(rest, static_cast<size_t>(tag) + 1, static_cast<long long>(rest.size()) - tag - 1);
    }
    info.items[item] = std::string(value);
  }
  info.idValid = IsSensorAddress(info.items[1]);
  info.id = static_cast<int32_t>(static_cast<uint32_t>(HexToInt(info.items[1])) - 176u);
  info.items[1] = std::to_string(info.id);
  return info;
}

}  // namespace kelta
