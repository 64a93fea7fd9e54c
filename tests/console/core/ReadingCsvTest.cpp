// The readings' CSV: fields that cannot break a row, numbers with "." in any locale, and a
// writer that hands lines over on Flush and Close and reports failures instead of crashing.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <string>

#include "base/Errors.h"
#include "records/ReadingCsv.h"
#include "tests/console/core/CommaLocale.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::ReadFile;
using test::TempDir;

Reading Sample(double angle, const std::string& line) {
  Reading reading;
  reading.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1000000000250));
  reading.seconds = 1.5;
  reading.angle = angle;
  reading.line = line;
  reading.port = "COM5";
  reading.sensorId = "042";
  return reading;
}

// Everything after the time stamp, which depends on the local time zone.
std::string AfterTime(const std::string& line) { return line.substr(line.find(',') + 1); }

TEST(ReadingCsv, FieldsAreQuotedAndControlBytesShownSoTheRowStaysOneRow) {
  struct Case {
    std::string bytes;
    std::string field;
  };
  const Case cases[] = {
      {"12.345", "12.345"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {" 12", "\" 12\""},
      {"12 ", "\"12 \""},
      {"a\r\nb", "a\u240D\u240Ab"},
      {std::string("\0\x02\x17\x1F\x7F", 5), "\u2400\u2402\u2417\u241F\u2421"},
      {"\x80\xB0\xFF", "\u0080\u00B0\u00FF"},
      {"\x02,\"", "\"\u2402,\"\"\""},
  };
  for (const Case& c : cases) EXPECT_EQ(CsvField(c.bytes), c.field) << c.bytes;

  // A line from a bad frame: one row of six fields, ended once.
  const std::string row = CsvLine(Sample(-1.25, "x\r,\"\n\x03"));
  EXPECT_EQ(AfterTime(row), "1.500,-1.25,\"x\u240D,\"\"\u240A\u2403\",COM5,042\r\n");
  EXPECT_EQ(row.find('\n'), row.size() - 1);
  EXPECT_EQ(CsvHeader(), "time,seconds,angle,line,port,sensor_id\r\n");
}

TEST(ReadingCsv, NumbersUseAPointInACommaLocaleAndReadBackExactly) {
  TempDir dir;
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (!test::SetCommaLocale(dir.Path())) GTEST_SKIP() << "no comma locale on this system";
  const std::string row = AfterTime(CsvLine(Sample(12.5, "D 12,5")));
  Reading reading = Sample(0.1 + 0.2, "");
  reading.seconds = 1234.0005;
  const std::string exact = AfterTime(CsvLine(reading));
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(row, "1.500,12.5,\"D 12,5\",COM5,042\r\n");
  EXPECT_EQ(exact.substr(0, exact.find(",,")), "1234.001,0.30000000000000004");
}

TEST(ReadingCsv, TimeStampHasMillisecondsAndAnOffset) {
  const std::string stamp = IsoLocalTime(Sample(0, "").time);
  // 2001-09-09T..:..:40.250+hh:mm in whatever zone the machine is in.
  ASSERT_EQ(stamp.size(), 29u) << stamp;
  EXPECT_EQ(stamp.substr(17, 6), "40.250") << stamp;
  EXPECT_TRUE(stamp[23] == '+' || stamp[23] == '-') << stamp;
  EXPECT_EQ(stamp[26], ':') << stamp;
}

TEST(ReadingCsvWriter, LinesReachTheFileOnFlushAndCloseInOrder) {
  TempDir dir;
  const std::string path = dir.File("r.csv");
  ReadingCsvWriter writer;
  writer.Open(path);
  EXPECT_EQ(ReadFile(path), CsvHeader());
  writer.Write(Sample(1, "1"));
  writer.Write(Sample(2, "2"));
  writer.Flush(true);
  const std::string two = CsvHeader() + CsvLine(Sample(1, "1")) + CsvLine(Sample(2, "2"));
  EXPECT_EQ(ReadFile(path), two);
  writer.Write(Sample(3, "3"));
  writer.Close();
  EXPECT_FALSE(writer.IsOpen());
  EXPECT_EQ(ReadFile(path), two + CsvLine(Sample(3, "3")));
  EXPECT_EQ(writer.LinesWritten(), 3u);
  // Writing after Close changes nothing.
  writer.Write(Sample(4, "4"));
  EXPECT_EQ(ReadFile(path), two + CsvLine(Sample(3, "3")));
}

TEST(ReadingCsvWriter, AMissingFolderOrAnExistingFileIsReportedNotOverwritten) {
  TempDir dir;
  ReadingCsvWriter writer;
  EXPECT_THROW(writer.Open(dir.File("missing/r.csv")), EInOutError);
  EXPECT_FALSE(writer.IsOpen());
  test::WriteFile(dir.File("kept.csv"), "keep");
  try {
    writer.Open(dir.File("kept.csv"));
    ADD_FAILURE() << "an existing file was opened";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("kept.csv"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(dir.File("kept.csv")), "keep");
  // A file where a folder should be: no folder can be made there.
  EXPECT_THROW(MakeFolder(dir.File("kept.csv") + "/sub"), EInOutError);
  MakeFolder(dir.File("a/b"));
  writer.Open(dir.File("a/b/r.csv"));
  EXPECT_TRUE(writer.IsOpen());
}

}  // namespace
}  // namespace kelta
