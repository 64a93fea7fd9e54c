#include "base/ConsoleFolders.h"

namespace kelta {

// What each system provides (ConsoleFolders_linux.cpp, ConsoleFolders_win32.cpp).
bool PathExists(const std::string& path);
bool MakeFolders(const std::string& dir);
char FolderSeparator();

ConsoleFolders ChooseConsoleFolders(const std::string& exeDir, const std::string& userDir) {
  if (exeDir.empty()) return {exeDir, exeDir};
  const char sep = FolderSeparator();
  const std::string shared = exeDir + ".." + sep + "share" + sep + "kelta" + sep;
  // An installation is recognised by its layout too: root may write in /usr/bin, but the
  // package manager's folder is no place for one user's settings.
  const bool installedShared = !PathExists(exeDir + "help.txt") && PathExists(shared + "help.txt");
  // A setup program's folder (per user it is writable) loses everything in it on uninstall.
  const bool installedHere = PathExists(exeDir + kInstalledMarker);
  if (!installedShared && !installedHere && FolderWritable(exeDir)) return {exeDir, exeDir};
  ConsoleFolders folders;
  folders.files = !userDir.empty() && MakeFolders(userDir) ? userDir : exeDir;
  folders.data = installedShared ? shared : exeDir;
  return folders;
}

ConsoleFolders ConsoleFoldersFor(const std::string& exeDir) {
  return ChooseConsoleFolders(exeDir, UserDataFolder());
}

}  // namespace kelta
