#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "graphics/png/PngFileAccess.h"

namespace kelta::gfx::png_file {
namespace {

// What a path names when it is not a regular file.
const char* FileKind(mode_t Mode) {
  if (S_ISFIFO(Mode)) return "FIFO";
  if (S_ISCHR(Mode)) return "character device";
  if (S_ISBLK(Mode)) return "block device";
  if (S_ISSOCK(Mode)) return "socket";
  return "special file";
}

// A folder keeps the system's own reason, as opening it for reading would give.
std::string RefusalOf(const struct stat& St) {
  return S_ISDIR(St.st_mode) ? std::string(std::strerror(EISDIR))
                             : std::string("Not a regular file: ") + FileKind(St.st_mode);
}

}  // namespace

// The path is looked at before it is opened, so that no device sees an open, and the
// descriptor again after, opened without blocking, in case something else took the path's
// place meanwhile.
int OpenRegular(const std::string& FileName, std::uint64_t& Size, std::string& Reason) {
  struct stat st {};
  if (::stat(FileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    Reason = RefusalOf(st);
    return -1;
  }
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    Reason = std::strerror(errno);
    return -1;
  }
  if (::fstat(fd, &st) != 0) {
    Reason = std::strerror(errno);
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    Reason = RefusalOf(st);
    ::close(fd);
    return -1;
  }
  Size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

long long ReadSome(int Fd, std::uint8_t* Data, std::size_t Size) {
  for (;;) {
    const ssize_t n = ::read(Fd, Data, Size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

void Close(int Fd) {
  if (Fd >= 0) ::close(Fd);
}

}  // namespace kelta::gfx::png_file
