// The readings' CSV where the Linux system is needed: time zones through TZ, and a file that
// can grow no further (a file size limit stands in for a full disk): it keeps whole rows only,
// and a file that cannot even take its header is not left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "base/Errors.h"
#include "records/ReadingCsv.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

std::string StampIn(const char* zone, std::chrono::system_clock::time_point when) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", zone, 1);
  tzset();
  const std::string stamp = IsoLocalTime(when);
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  return stamp;
}

TEST(ReadingCsv, TimeStampsCarryTheOffsetInForceAtThatMoment) {
  using std::chrono::milliseconds;
  const std::chrono::system_clock::time_point winter(milliseconds(1000000000007));  // Sep 2001
  const std::chrono::system_clock::time_point summer(milliseconds(1183000000999));  // Jun 2007
  EXPECT_EQ(StampIn("UTC0", winter), "2001-09-09T01:46:40.007+00:00");
  EXPECT_EQ(StampIn("KST-9", winter), "2001-09-09T10:46:40.007+09:00");
  EXPECT_EQ(StampIn("<-0330>3:30", winter), "2001-09-08T22:16:40.007-03:30");
  // Central Europe: +01:00 in winter, +02:00 in summer, midnight crossed.
  const char* europe = "CET-1CEST,M3.5.0,M10.5.0/3";
  EXPECT_EQ(StampIn(europe, std::chrono::system_clock::time_point(milliseconds(946684799500))),
            "2000-01-01T00:59:59.500+01:00");
  EXPECT_EQ(StampIn(europe, summer), "2007-06-28T05:06:40.999+02:00");
  // Before 1970, milliseconds still count forwards within their second.
  EXPECT_EQ(StampIn("UTC0", std::chrono::system_clock::time_point(milliseconds(-1))),
            "1969-12-31T23:59:59.999+00:00");
}

TEST(ReadingCsvWriter, AFullDiskIsReportedAndTheWriterClosedWithWholeRowsOnly) {
  test::TempDir dir;
  const std::string path = dir.File("full.csv");
  ReadingCsvWriter writer;
  Reading reading;
  reading.line = std::string(100, 'x');
  int code = 0;
  {
    test::FileSizeLimit limit(4096);
    writer.Open(path);
    try {
      for (int i = 0; i < 1000; ++i) {
        writer.Write(reading);
        writer.Flush(true);
      }
    } catch (const EInOutError& e) {
      code = e.errorCode;
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(code, EFBIG);
  EXPECT_FALSE(writer.IsOpen());
  // What reached the file stays, cut back to its last whole row: the header and as many rows
  // as fit (the limit falls inside a row).
  const std::string row = CsvLine(reading);
  ASSERT_NE((4096 - CsvHeader().size()) % row.size(), 0u);
  const size_t rows = (4096 - CsvHeader().size()) / row.size();
  std::string expected = CsvHeader();
  for (size_t i = 0; i < rows; ++i) expected += row;
  const std::string kept = test::ReadFile(path);
  EXPECT_EQ(kept.size(), expected.size());
  EXPECT_TRUE(kept == expected) << "ends with " << kept.substr(kept.size() - 20);
  writer.Close();  // nothing more to report
}

TEST(ReadingCsvWriter, AFileThatCannotTakeItsHeaderIsRemovedAgain) {
  test::TempDir dir;
  const std::string path = dir.File("empty.csv");
  ReadingCsvWriter writer;
  int code = 0;
  {
    test::FileSizeLimit limit(CsvHeader().size() / 2);
    try {
      writer.Open(path);
    } catch (const EInOutError& e) {
      code = e.errorCode;
    }
  }
  EXPECT_EQ(code, EFBIG);
  EXPECT_FALSE(writer.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(path)) << test::ReadFile(path).size() << " bytes left";
}

// Readings are for the owner and its group: 0640 under the usual umask, less when the umask
// takes more away.
TEST(ReadingCsvWriter, TheFileIsMadeForItsOwnerAndGroupOnly) {
  test::TempDir dir;
  const mode_t old = umask(022);
  for (const auto& [mask, mode] : {std::pair<mode_t, mode_t>{022, 0640}, {077, 0600}}) {
    umask(mask);
    const std::string path = dir.File("mode-" + std::to_string(mask) + ".csv");
    ReadingCsvWriter writer;
    writer.Open(path);
    writer.Close();
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, mode) << path;
  }
  umask(old);
}

}  // namespace
}  // namespace kelta
