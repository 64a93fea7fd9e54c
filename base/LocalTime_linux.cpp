#include "base/LocalTime.h"

namespace kelta {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

std::tm UtcTime(std::time_t when) {
  std::tm utc{};
  gmtime_r(&when, &utc);
  return utc;
}

}  // namespace kelta
