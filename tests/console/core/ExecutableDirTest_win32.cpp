#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "console/core/UserSet.h"
#include "serial/portmap/PortMap.h"
#include "tests/support/Files.h"

namespace kelta {
namespace {

// "Beside the executable" is the folder this very program was started from, whatever the
// current folder is, written so that a file name can follow it directly.
TEST(ExecutableDir, IsTheFolderOfTheRunningProgram) {
  const std::string dir = ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '\\');
  EXPECT_TRUE(test::NativePath(dir).is_absolute()) << dir;
  EXPECT_TRUE(std::filesystem::is_regular_file(test::NativePath(dir + "test_console_core.exe")))
      << dir;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  const std::string elsewhere = ExecutableDir();
  std::filesystem::current_path(before);
  EXPECT_EQ(elsewhere, dir);
}

}  // namespace
}  // namespace kelta
