#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "base/ErrorLog.h"

namespace kelta {
namespace {

// Message first, then the local time with every field zero-padded; the C run-time reads
// the zone from TZ as on the other system.
TEST(ErrorLog, LogLineStampsLocalTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  const std::time_t t = 1000000000;  // 2001-09-09 01:46:40 UTC
  _putenv_s("TZ", "UTC0");
  _tzset();
  const std::string utc = FormatLogLine("'abc' is not a valid integer value", t);
  _putenv_s("TZ", "KST-9");
  _tzset();
  const std::string korea = FormatLogLine("m", t);
  const std::string early = FormatLogLine("m", 946684800 + 3661);  // 2000-01-01 01:01:01 UTC
  if (old)
    _putenv_s("TZ", saved.c_str());
  else
    _putenv_s("TZ", "");
  _tzset();
  EXPECT_EQ(utc, "'abc' is not a valid integer value - 2001-09-09 01:46:40");
  EXPECT_EQ(korea, "m - 2001-09-09 10:46:40");
  EXPECT_EQ(early, "m - 2000-01-01 10:01:01");
}

}  // namespace
}  // namespace kelta
