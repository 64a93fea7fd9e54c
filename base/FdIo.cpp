#include "base/FdIo.h"

#include <cerrno>

namespace kelta {

FdIoResult ReadAll(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  FdIoResult result;
  while (result.done < size) {
    const long long n = ReadSome(fd, bytes + result.done, size - result.done);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.err = errno;
      break;
    }
    if (n == 0) break;
    result.done += static_cast<std::size_t>(n);
  }
  return result;
}

FdIoResult WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  FdIoResult result;
  while (result.done < size) {
    const long long n = WriteSome(fd, bytes + result.done, size - result.done);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.err = errno;
      break;
    }
    if (n == 0) {
      result.err = EIO;
      break;
    }
    result.done += static_cast<std::size_t>(n);
  }
  return result;
}

}  // namespace kelta
