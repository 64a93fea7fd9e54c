#include "base/ErrorLog.h"

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(ErrorLog, LinesAreAppendedOldestFirstWithCrLf) {
  TempDir dir;
  WriteLogLine(dir.Path(), "first - 2026-01-02 03:04:05");
  EXPECT_EQ(ReadFile(dir.Path() + "LogFile.Log"), "first - 2026-01-02 03:04:05\r\n");
  WriteLogLine(dir.Path(), "second");
  EXPECT_EQ(ReadFile(dir.Path() + "LogFile.Log"), "first - 2026-01-02 03:04:05\r\nsecond\r\n");
}

TEST(ErrorLog, UnwritableLogRaisesNamingTheFile) {
  TempDir dir;
  try {
    WriteLogLine(dir.Path() + "missing/", "x");
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find(dir.Path() + "missing/LogFile.Log"), std::string::npos);
    EXPECT_EQ(e.errorCode, ENOENT);
  }
}

}  // namespace
}  // namespace kelta
