// The error log's cases that need the Linux system: a FIFO in the log's place, time zones set
// through TZ.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "base/ErrorLog.h"
#include "base/Errors.h"
#include "tests/support/Fifo.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::TempDir;

// A FIFO in the log's place would hold the program at its first logged error.
TEST(ErrorLog, FifoInTheLogsPlaceIsRefusedWithoutBlocking) {
  TempDir dir;
  const std::string path = dir.Path() + "LogFile.Log";
  test::MakeFifo(path);
  bool blocked = false;
  const int code = test::CallBesideFifo(
      path,
      [&]() -> int {
        try {
          WriteLogLine(dir.Path(), "x - 2026-01-02 03:04:05");
        } catch (const EInOutError& e) {
          EXPECT_NE(std::string(e.what()).find("\"" + path + "\" (not a regular file: FIFO)"),
                    std::string::npos)
              << e.what();
          return e.errorCode;
        }
        return -1;
      },
      blocked);
  EXPECT_FALSE(blocked);
  EXPECT_EQ(code, 0);
}

// Message first, then the local time with every field zero-padded.
TEST(ErrorLog, LogLineStampsLocalTime) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  const std::time_t t = 1000000000;  // 2001-09-09 01:46:40 UTC
  setenv("TZ", "UTC0", 1);
  tzset();
  const std::string utc = FormatLogLine("'abc' is not a valid integer value", t);
  setenv("TZ", "KST-9", 1);
  tzset();
  const std::string korea = FormatLogLine("m", t);
  const std::string early = FormatLogLine("m", 946684800 + 3661);  // 2000-01-01 01:01:01 UTC
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  EXPECT_EQ(utc, "'abc' is not a valid integer value - 2001-09-09 01:46:40");
  EXPECT_EQ(korea, "m - 2001-09-09 10:46:40");
  EXPECT_EQ(early, "m - 2000-01-01 10:01:01");
}

}  // namespace
}  // namespace kelta
