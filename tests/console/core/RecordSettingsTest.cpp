// Where recordings go: the folder kept in the console's own settings file beside the
// executable, and the default in the documents folder.
#include <gtest/gtest.h>

#include <string>

#include "base/Errors.h"
#include "records/RecordSettings.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(RecordSettings, TheFolderIsKeptAndReadBackAndTheDefaultFillsEveryGap) {
  TempDir dir;
  const std::string file = dir.File(kRecordSettingsFileName);
  const std::string fallback = DefaultRecordFolder();
  EXPECT_EQ(fallback.substr(fallback.size() - 5), "KELTA") << fallback;
  EXPECT_EQ(fallback.size(), DocumentsFolder().size() + 6) << fallback;
  EXPECT_EQ(fallback.substr(0, DocumentsFolder().size()), DocumentsFolder());
  EXPECT_EQ(LoadRecordFolder(dir.Path()), fallback);  // no file

  const std::string folder = "D:\\Messungen, Halle 2/\xEC\x84\xBC\xEC\x84\x9C";
  SaveRecordFolder(dir.Path(), folder);
  EXPECT_EQ(ReadFile(file), "Folder=" + folder + "\r\n");
  EXPECT_EQ(LoadRecordFolder(dir.Path()), folder);

  // Written by hand: other lines and LF ends are fine; a key without a value is none.
  WriteFile(file, "# mine\nFolder=/data/rec\n");
  EXPECT_EQ(LoadRecordFolder(dir.Path()), "/data/rec");
  WriteFile(file, "Folder=\r\n");
  EXPECT_EQ(LoadRecordFolder(dir.Path()), fallback);
  WriteFile(file, "");
  EXPECT_EQ(LoadRecordFolder(dir.Path()), fallback);

  // A line break would end the value early when read back: refused, the file unchanged.
  WriteFile(file, "Folder=/data/rec\r\n");
  EXPECT_THROW(SaveRecordFolder(dir.Path(), "/a\nFolder=/b"), EInOutError);
  EXPECT_EQ(ReadFile(file), "Folder=/data/rec\r\n");
  // A folder where the file should go: reported, not a crash.
  EXPECT_THROW(SaveRecordFolder(dir.File("missing/"), "/x"), EInOutError);
}

}  // namespace
}  // namespace kelta
