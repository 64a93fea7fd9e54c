// The information reply parser, HexToInt and the integer field reader over arbitrary text.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Errors.h"
#include "protocol/SensorInfo.h"
#include "protocol/StrToInt.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

bool IsDecimalInt(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  if (text[i] == '+' || text[i] == '-') ++i;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);

  const kelta::SensorInfo info = kelta::ParseSensorInfo(line);
  for (size_t i = 0; i < info.items.size(); ++i) {
    if (i == kelta::kInfoId) continue;
    Check(line.find(info.items[i]) != std::string::npos, "every item is a piece of the line");
    Check(info.items[i].find(',') == std::string::npos || i == 0 || i == 20,
          "items 2 to 20 end before a comma");
  }
  Check(info.items[kelta::kInfoId] == std::to_string(info.id), "ID text is the ID");

  kelta::HexToInt(line);

  // The integer reader accepts exactly the decimal texts in 32-bit range.
  bool accepted = true;
  int32_t value = 0;
  try {
    value = kelta::StrToInt(line);
  } catch (const kelta::EConvertError& e) {
    accepted = false;
    // what() ends at a NUL; edits never hold one.
    if (line.find('\0') == std::string::npos)
      Check(std::string(e.what()) == "'" + line + "' is not a valid integer value", "message");
  }
  if (IsDecimalInt(line) && line.find('\0') == std::string::npos) {
    errno = 0;
    const long long expected = std::strtoll(line.c_str(), nullptr, 10);
    const bool inRange = errno == 0 && expected >= INT32_MIN && expected <= INT32_MAX;
    Check(accepted == inRange, "accepts exactly the 32-bit range");
    if (accepted) Check(value == expected, "same value as strtoll");
  } else {
    Check(!accepted, "rejects what is not a decimal integer");
  }
  return 0;
}
