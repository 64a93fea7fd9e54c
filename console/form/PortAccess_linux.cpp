#include "console/form/PortAccess.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
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

namespace {

// The name getgrgid_r / getpwuid_r find for an id; empty when none.
template <class Entry, class Id, class Lookup>
std::string NameOf(Id id, Lookup lookup, int sizeKey, char* Entry::*name) {
  long size = sysconf(sizeKey);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<size_t>(size));
  for (;;) {
    Entry entry;
    Entry* found = nullptr;
    const int err = lookup(id, &entry, buffer.data(), buffer.size(), &found);
    if (err == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (err != 0 || found == nullptr || found->*name == nullptr) return {};
    return found->*name;
  }
}

}  // namespace

std::optional<PortDeviceAccess> PortDeviceAccessOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  PortDeviceAccess access;
  access.mode = static_cast<unsigned>(st.st_mode) & 07777u;
  access.owner =
      NameOf<struct passwd>(st.st_uid, getpwuid_r, _SC_GETPW_R_SIZE_MAX, &passwd::pw_name);
  access.group = NameOf<struct group>(st.st_gid, getgrgid_r, _SC_GETGR_R_SIZE_MAX, &group::gr_name);
  return access;
}

std::string PortDeviceGroup(const std::string& path) {
  const std::optional<PortDeviceAccess> access = PortDeviceAccessOf(path);
  return access ? access->group : std::string();
}

}  // namespace kelta
