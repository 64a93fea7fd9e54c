#include "console/form/PortAccess.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace kelta {

bool PortAccessDenied(const std::string& path) {
  // The effective ids, as open() checks them; asking opens nothing, so no line changes.
  if (faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0) return false;
  return errno == EACCES || errno == EPERM;
}

bool PortDevicePresent(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string PortDeviceGroup(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return {};
  long size = sysconf(_SC_GETGR_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<size_t>(size));
  for (;;) {
    struct group entry;
    struct group* found = nullptr;
    const int err = getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found);
    if (err == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (err != 0 || found == nullptr || found->gr_name == nullptr) return {};
    return found->gr_name;
  }
}

}  // namespace kelta
