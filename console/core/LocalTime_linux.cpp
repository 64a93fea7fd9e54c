#include "console/core/LocalTime.h"

namespace kelta {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

}  // namespace kelta
