#include <io.h>

#include <cerrno>
#include <climits>

#include "base/FdIo.h"

namespace kelta {

namespace {

// The run-time's calls take an unsigned count and return an int.
unsigned Chunk(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<unsigned>(size); }

}  // namespace

long long ReadSome(int fd, void* data, std::size_t size) { return ::_read(fd, data, Chunk(size)); }

long long WriteSome(int fd, const void* data, std::size_t size) {
  return ::_write(fd, data, Chunk(size));
}

int CloseFd(int fd) {
  if (fd < 0) return 0;
  return ::_close(fd) == 0 ? 0 : errno;
}

}  // namespace kelta
