#include "apps/sim/PortLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace kelta::sim {

namespace {

[[noreturn]] void ThrowErrno(int err, const std::string& what) {
  throw std::system_error(err, std::generic_category(), what);
}

// The link's target, or empty when path is no link (or gone).
std::string ReadLink(const std::string& path) {
  std::string buffer(4096, '\0');
  const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
  if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return {};
  buffer.resize(static_cast<size_t>(n));
  return buffer;
}

}  // namespace

PortLink::PortLink(const std::string& exeDir, int number, const std::string& target, bool force)
    : target_(target) {
  if (number < 1) throw std::runtime_error("COM number must be 1 or more");
  const std::string dir = exeDir + "ports";
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    const int err = errno;
    ThrowErrno(err, "Cannot create " + dir);
  }
  path_ = dir + "/com" + std::to_string(number);
  struct stat st;
  if (lstat(path_.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      throw std::runtime_error(path_ + " exists and is not a link; not touching it");
    }
    struct stat targetStat;
    const bool alive = stat(path_.c_str(), &targetStat) == 0;
    if (alive && !force) {
      throw std::runtime_error(path_ + " already links to " + ReadLink(path_) +
                               " (another sensor?); use --force to take it over");
    }
  }
  // Link under a temporary name, then rename over: the name never points nowhere and an
  // old link is swapped in one step.
  const std::string temporary = path_ + ".tmp" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    const int err = errno;
    ThrowErrno(err, "Cannot create link " + temporary);
  }
  if (rename(temporary.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    unlink(temporary.c_str());
    ThrowErrno(err, "Cannot rename " + temporary + " to " + path_);
  }
}

PortLink::~PortLink() {
  if (ReadLink(path_) == target_) unlink(path_.c_str());
}

}  // namespace kelta::sim
