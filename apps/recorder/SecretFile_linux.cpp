// Refused when other users may read or change it, as ssh refuses such a key; a group may (the
// service's own, for one).
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "apps/recorder/SecretFile.h"

namespace kelta::record {

std::string SecretFileExposure(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return std::strerror(errno);
  if ((info.st_mode & S_IRWXO) == 0) return {};
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
  return std::string("other users may read or change it (mode ") + mode +
         "); make it its owner's only (chmod 600)";
}

}  // namespace kelta::record
