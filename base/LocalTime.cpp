#include "base/LocalTime.h"

#include <cstdio>

namespace kelta {

std::string ClockText() {
  const std::tm t = LocalTime(std::time(nullptr));
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

}  // namespace kelta
