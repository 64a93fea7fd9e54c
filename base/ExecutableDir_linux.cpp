// The executable's folder on Linux: the target of /proc/self/exe.
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "base/ExecutableDir.h"

namespace kelta {

std::string ExecutableDir() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) {
      const int err = errno;
      throw std::system_error(err, std::generic_category(), "Cannot read /proc/self/exe");
    }
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return buffer.substr(0, buffer.rfind('/') + 1);
}

}  // namespace kelta
