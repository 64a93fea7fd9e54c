#include "console/core/UserSet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "base/Errors.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::TempDir;
using test::WriteFile;

std::vector<uint8_t> FileBytes(const std::string& path) {
  const std::string bytes = test::ReadFile(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

TEST(UserSet, FirstRunCreatesTheExactDefaultFile) {
  TempDir dir;
  TUserSet record;
  LoadUserSet(record, dir.Path());
  std::vector<uint8_t> expected = {0x04, 'C', 'O', 'M', '1', 0, 0,              // PortName
                                   0x01, '1', 0,   0,   0,   0,                 // SendCount
                                   0x03, '2', '0', '0', 0,   0, 0, 0, 0, 0, 0,  // SendInterval
                                   0x01, '1', 0,   0};                          // SensorID
  expected.resize(kUserSetSize, 0);  // three empty spares
  EXPECT_EQ(FileBytes(dir.Path() + "UserSet.dat"), expected);
  EXPECT_EQ(std::vector<uint8_t>(record.bytes.begin(), record.bytes.end()), expected);
  EXPECT_EQ(record.Read(UserSetField::PortName), "COM1");
  EXPECT_EQ(record.Read(UserSetField::SendCount), "1");
  EXPECT_EQ(record.Read(UserSetField::SendInterval), "200");
  EXPECT_EQ(record.Read(UserSetField::SensorID), "1");
}

// Defaults touch only length bytes and characters: what the record held before stays.
TEST(UserSet, DefaultsOfAMissingFileKeepTheRecordsOtherBytes) {
  TempDir dir;
  TUserSet record;
  record.Store(UserSetField::PortName, "COM123");
  record.Store(UserSetField::SendInterval, "1234567890");
  record.Store(UserSetField::Spare2, "x");
  LoadUserSet(record, dir.Path());
  const std::vector<uint8_t> file = FileBytes(dir.Path() + "UserSet.dat");
  ASSERT_EQ(file.size(), kUserSetSize);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 7), std::string("\x04"
                                                                     "COM123"));
  EXPECT_EQ(std::string(file.begin() + 13, file.begin() + 24), std::string("\x03"
                                                                           "2004567890"));
  EXPECT_EQ(std::string(file.begin() + 39, file.begin() + 41), std::string("\x01"
                                                                           "x"));
  EXPECT_EQ(record.Read(UserSetField::PortName), "COM1");
  EXPECT_EQ(record.Read(UserSetField::SendInterval), "200");
}

TEST(UserSet, TextsAreCutToTheirCapacity) {
  const struct {
    UserSetField field;
    const char* text;
    const char* stored;
  } cases[] = {
      {UserSetField::PortName, "COM123456", "COM123"},
      {UserSetField::SendCount, "1234567", "12345"},
      {UserSetField::SendInterval, "12345678901", "1234567890"},
      {UserSetField::SensorID, "1234", "123"},
      {UserSetField::Spare3, "abcdefghijkl", "abcdefghij"},
      {UserSetField::PortName, "", ""},
  };
  for (const auto& c : cases) {
    TUserSet record;
    record.Store(c.field, c.text);
    EXPECT_EQ(record.Read(c.field), c.stored) << c.text;
  }
  // Neighbouring fields are untouched by a cut text.
  TUserSet record;
  record.Store(UserSetField::PortName, "COM123456789");
  EXPECT_EQ(record.bytes[7], 0);
  // A view without characters (and without a pointer) empties the field, stale bytes kept.
  record.Store(UserSetField::PortName, std::string_view{});
  EXPECT_EQ(record.Read(UserSetField::PortName), "");
  EXPECT_EQ(record.bytes[6], '3');
}

TEST(UserSet, ShorterValueKeepsStaleBytesInTheFile) {
  TempDir dir;
  TUserSet record;
  record.Store(UserSetField::PortName, "COM12");
  record.Store(UserSetField::PortName, "COM1");
  SaveUserSet(record, dir.Path());
  const std::vector<uint8_t> file = FileBytes(dir.Path() + "UserSet.dat");
  ASSERT_EQ(file.size(), kUserSetSize);
  EXPECT_EQ(file[0], 4);
  EXPECT_EQ(file[5], '2');
  TUserSet loaded;
  LoadUserSet(loaded, dir.Path());
  EXPECT_EQ(loaded.Read(UserSetField::PortName), "COM1");
  EXPECT_EQ(loaded.bytes, record.bytes);
}

TEST(UserSet, LengthAboveCapacityIsLimited) {
  TempDir dir;
  std::string bytes(kUserSetSize, 'x');
  bytes[0] = char(200);  // PortName
  bytes[24] = char(4);   // SensorID, capacity 3
  WriteFile(dir.Path() + "UserSet.dat", bytes);
  TUserSet record;
  LoadUserSet(record, dir.Path());
  EXPECT_EQ(record.Read(UserSetField::PortName), "xxxxxx");
  EXPECT_EQ(record.Read(UserSetField::SensorID), "xxx");
}

TEST(UserSet, FailedFileStepsRaise) {
  TempDir dir;
  TUserSet record;
  // A missing folder: the file cannot be created.
  EXPECT_THROW(LoadUserSet(record, dir.Path() + "missing/"), EInOutError);
  EXPECT_THROW(SaveUserSet(record, dir.Path() + "missing/"), EInOutError);
  // A folder where the file should be: neither read nor written.
  ASSERT_TRUE(std::filesystem::create_directory(test::NativePath(dir.Path() + "UserSet.dat")));
  EXPECT_THROW(LoadUserSet(record, dir.Path()), EInOutError);
  EXPECT_THROW(SaveUserSet(record, dir.Path()), EInOutError);
  EXPECT_EQ(record.bytes, TUserSet{}.bytes);
}

// The folder of the executable may carry any name (a user's folder in Korean, say): the file
// lands in that very folder, and nowhere else, and reads back.
TEST(UserSet, FolderNameOutsideAsciiIsKept) {
  TempDir dir;
  const std::string folder = dir.Path() + "\xea\xb0\x81\xeb\x8f\x84 \xc3\xbc\xd0\xb6/";
  ASSERT_TRUE(std::filesystem::create_directory(test::NativePath(folder)));
  TUserSet record;
  LoadUserSet(record, folder);
  record.Store(UserSetField::PortName, "COM12");
  SaveUserSet(record, folder);
  EXPECT_EQ(std::filesystem::file_size(test::NativePath(folder) / "UserSet.dat"), kUserSetSize);
  EXPECT_EQ(FileBytes(folder + "UserSet.dat")[5], '2');
  TUserSet again;
  LoadUserSet(again, folder);
  EXPECT_EQ(again.Read(UserSetField::PortName), "COM12");
  // Only the one folder and its one file: no second folder under a mangled name.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(test::NativePath(dir.Path())),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace kelta
