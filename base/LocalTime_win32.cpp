#include "base/LocalTime.h"

namespace kelta {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_s(&local, &when);
  return local;
}

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  gmtime_s(&utc, &when);
  return utc;
}

}  // namespace kelta
