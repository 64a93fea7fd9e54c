#include <unistd.h>

#include <cerrno>

#include "base/FdIo.h"

namespace kelta {

long long ReadSome(int fd, void* data, std::size_t size) { return ::read(fd, data, size); }

long long WriteSome(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

int CloseFd(int fd) {
  if (fd < 0) return 0;
  return ::close(fd) == 0 ? 0 : errno;
}

}  // namespace kelta
