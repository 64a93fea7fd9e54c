#include "console/core/ConsoleFolders.h"

namespace kelta {

// What each system provides (ConsoleFolders_linux.cpp, ConsoleFolders_win32.cpp).
bool PathExists(const std::string& path);
bool MakeFolders(const std::string& dir);
char FolderSeparator();

ConsoleFolders ChooseConsoleFolders(const std::string& exeDir, const std::string& userDir) {
  if (exeDir.empty() || FolderWritable(exeDir)) return {exeDir, exeDir};
  ConsoleFolders folders;
  folders.files = !userDir.empty() && MakeFolders(userDir) ? userDir : exeDir;
  const char sep = FolderSeparator();
  const std::string installed = exeDir + ".." + sep + "share" + sep + "kelta" + sep;
  if (PathExists(exeDir + "help.txt"))
    folders.data = exeDir;
  else if (PathExists(installed))
    folders.data = installed;
  else
    folders.data = exeDir;
  return folders;
}

ConsoleFolders ConsoleFoldersFor(const std::string& exeDir) {
  return ChooseConsoleFolders(exeDir, UserDataFolder());
}

}  // namespace kelta
