#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "base/ConsoleFolders.h"

namespace kelta {

bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

char FolderSeparator() { return '/'; }

bool MakeFolders(const std::string& dir) {
  // Each level in turn, from the root; the user's private folders get the user's rights only.
  for (size_t at = dir.find('/', 1); at != std::string::npos; at = dir.find('/', at + 1)) {
    const std::string level = dir.substr(0, at);
    if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FolderWritable(const std::string& dir) {
  const std::string probe = dir + ".kelta-probe-" + std::to_string(::getpid());
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

std::string UserDataFolder() {
  // Relative values are to be ignored, as if the variable were not set.
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    std::string dir = xdg;
    if (dir.back() != '/') dir += '/';
    return dir + "kelta/";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return {};
  std::string dir = home;
  if (dir.back() != '/') dir += '/';
  return dir + ".local/share/kelta/";
}

}  // namespace kelta
