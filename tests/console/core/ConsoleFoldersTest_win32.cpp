// Where the console's files live on Windows: the rule on real folders, and %LOCALAPPDATA%.
// (Access lists that forbid writing are not to be made here: the writable side and an
// installation's layout are.)
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/ConsoleFolders.h"
#include "console/core/UserSet.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(ConsoleFolders, PortableCopyKeepsEverythingBesideIt) {
  TempDir exe, user;
  WriteFile(exe.Path() + "help.txt", "help\r\n");
  const ConsoleFolders f = ChooseConsoleFolders(exe.Path(), user.Path() + "KELTA\\");
  EXPECT_EQ(f.files, exe.Path());
  EXPECT_EQ(f.data, exe.Path());
  EXPECT_FALSE(std::filesystem::exists(test::NativePath(user.Path() + "KELTA")));
  // No probe file stays.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(test::NativePath(exe.Path())),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(ConsoleFolders, InstallationWritesInTheUserFolderAndReadsShareKelta) {
  TempDir prefix, user;
  const std::string bin = prefix.Path() + "bin\\";
  std::filesystem::create_directories(test::NativePath(bin));
  std::filesystem::create_directories(test::NativePath(prefix.Path() + "share\\kelta"));
  WriteFile(prefix.Path() + "share\\kelta\\help.txt", "help\r\n");
  // A UTF-8 name on the way: the folders are made in UTF-16.
  const std::string userDir = user.Path() + "\xC3\xA4\\KELTA\\";
  const ConsoleFolders f = ChooseConsoleFolders(bin, userDir);
  EXPECT_EQ(f.files, userDir);
  EXPECT_EQ(f.data, bin + "..\\share\\kelta\\");
  TUserSet record;
  SaveUserSet(record, f.files);
  EXPECT_EQ(std::filesystem::file_size(test::NativePath(userDir + "UserSet.dat")), kUserSetSize);
  EXPECT_EQ(test::ReadFile(f.data + "help.txt"), "help\r\n");
}

TEST(ConsoleFolders, UserDataFolderIsLocalAppData) {
  const char* old = std::getenv("LOCALAPPDATA");
  const std::string saved = old ? old : "";
  ::_putenv_s("LOCALAPPDATA", "C:\\Users\\op\\AppData\\Local");
  EXPECT_EQ(UserDataFolder(), "C:\\Users\\op\\AppData\\Local\\KELTA\\");
  ::_putenv_s("LOCALAPPDATA", "");
  EXPECT_EQ(UserDataFolder(), "");
  ::_putenv_s("LOCALAPPDATA", saved.c_str());
}

}  // namespace
}  // namespace kelta
