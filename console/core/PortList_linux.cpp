#include "console/core/PortList.h"
#include "console/core/PortProbe.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "serial/portmap/PortMap.h"

namespace kelta {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

int OpenDevice(const std::string& path) {
  return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

// "ttyS<digits>" after the last '/' of the resolved device: the on-board UART names, which
// exist as device nodes whether or not a UART answers behind them.
bool IsUartName(const std::string& path) {
  char resolved[PATH_MAX];
  const std::string real = ::realpath(path.c_str(), resolved) ? resolved : path;
  const std::string base = real.substr(real.rfind('/') + 1);
  if (base.size() <= 4 || base.compare(0, 4, "ttyS") != 0) return false;
  for (size_t i = 4; i < base.size(); ++i)
    if (base[i] < '0' || base[i] > '9') return false;
  return true;
}

// Only a terminal can be a serial port. Anything else a name may point at (/dev/null,
// /dev/zero, a regular file, a FIFO) would be listed and then fail at Connect; a FIFO is never
// even opened (its open may wait for a writer). A character device this user may not open
// counts: Connect will say why it cannot be opened.
}  // namespace

namespace port_probe {

bool IsPortDevice(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const int raw = OpenDevice(path);
  const int err = errno;
  Fd fd(raw);
  if (raw < 0) {
    if (err == EBUSY) return true;  // held exclusively (TIOCEXCL): only terminals have that
    return (err == EACCES || err == EPERM) && !IsUartName(path);
  }
  // Swapped for something else between the two looks: judge what was opened.
  termios tio;
  if (::fstat(fd.get(), &st) != 0 || !S_ISCHR(st.st_mode) || ::tcgetattr(fd.get(), &tio) != 0)
    return false;
  if (!IsUartName(path)) return true;
  // An on-board UART name answers even without a UART behind it.
  serial_struct info{};
  return ::ioctl(fd.get(), TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
}

bool CanOpenExclusively(const std::string& path) {
  Fd fd(OpenDevice(path));
  if (fd.get() < 0) return false;
  // Root passes TIOCEXCL on open, so ask for it explicitly; not a terminal: nothing to ask.
  int exclusive = 0;
  if (::ioctl(fd.get(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0) return false;
  return ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

std::string LinkTarget(const std::string& exeDir, long long number) {
  const std::string link = exeDir + "ports/com" + std::to_string(number);
  char target[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
  if (n > 0 && static_cast<size_t>(n) < sizeof target) return std::string(target, size_t(n));
  return {};
}

}  // namespace port_probe

PortRoots DefaultPortRoots() { return PortRoots{ExecutableDir(), "/dev/"}; }

}  // namespace kelta
