// Picture files opened by name: folders refused with the system's reason, any file name kept.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "graphics/png/PngDecoder.h"
#include "graphics/png/PngErrors.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta::gfx {
namespace {

TEST(PngFile, FolderIsRefusedAsADirectory) {
  const kelta::test::TempDir dir;
  try {
    ReadPngFile(dir.File("img"));
    FAIL() << "a missing file was read";
  } catch (const EFileOpenError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + dir.File("img") + "\". No such file or directory");
  }
  std::filesystem::create_directory(test::NativePath(dir.File("img")));
  try {
    ReadPngFile(dir.File("img"));
    FAIL() << "a folder was read";
  } catch (const EFileOpenError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + dir.File("img") + "\". Is a directory");
  }
}

// A dial a user saved under a name in Korean loads like any other.
TEST(PngFile, NameOutsideAsciiIsOpened) {
  const kelta::test::TempDir dir;
  const std::string name = dir.File("\xeb\x8b\xac\xeb\xa0\xa5 \xc3\xa9.png");
  std::filesystem::copy_file(test::NativePath(KELTA_PNGSUITE_DIR "/basn6a08.png"),
                             test::NativePath(name));
  const PngPicture picture = ReadPngFile(name);
  EXPECT_EQ(picture.Width, 32);
  EXPECT_EQ(picture.Height, 32);
}

}  // namespace
}  // namespace kelta::gfx
