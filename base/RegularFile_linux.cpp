#include "base/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kelta {

std::string FileKind(mode_t mode) {
  if (S_ISFIFO(mode)) return "FIFO";
  if (S_ISDIR(mode)) return "folder";
  if (S_ISCHR(mode)) return "character device";
  if (S_ISBLK(mode)) return "block device";
  if (S_ISSOCK(mode)) return "socket";
  return "special file";
}

RegularFile OpenRegularFile(const std::string& path, int flags, mode_t createMode) {
  RegularFile file;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    file.kind = FileKind(st.st_mode);
    return file;
  }
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, createMode);
  if (fd < 0) {
    file.err = errno;
    return file;
  }
  if (::fstat(fd, &st) != 0) {
    file.err = errno;
    ::close(fd);
    return file;
  }
  if (!S_ISREG(st.st_mode)) {
    file.kind = FileKind(st.st_mode);
    ::close(fd);
    return file;
  }
  // O_NONBLOCK means nothing to a regular file's reads and writes; it stays set.
  file.size = static_cast<std::uint64_t>(st.st_size);
  file.fd = fd;
  return file;
}

int PathError(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? 0 : errno;
}

}  // namespace kelta
