#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "serial/SerialDevice.h"

namespace kelta::device {

int OpenExclusive(const std::string& path, int& fd) {
  fd = -1;
  int f;
  do {
    f = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (f < 0 && errno == EINTR);
  if (f < 0) return errno;
  int r;
  do {
    r = ::flock(f, LOCK_EX | LOCK_NB);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    const int err = errno;
    ::close(f);
    return err;
  }
  // Refuses later opens by programs that do not use flock. Not a terminal: ApplyDcb will say so.
  if (::ioctl(f, TIOCEXCL) < 0) {
    const int err = errno;
    if (!IsNoSuchControl(err)) {
      ::close(f);
      return err;
    }
  }
  fd = f;
  return 0;
}

void Close(int fd) {
  // The exclusive flag belongs to the terminal, which may outlive this descriptor (the master
  // side of a pseudo-terminal keeps it): clear it, or nobody could reopen the port.
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

int InputCount(int fd, std::uint32_t& count) {
  int n = 0;
  if (::ioctl(fd, FIONREAD, &n) < 0) {
    count = 0;
    return errno;
  }
  count = n < 0 ? 0 : static_cast<std::uint32_t>(n);
  return 0;
}

int OutputCount(int fd, std::uint32_t& count) {
  int n = 0;
  if (::ioctl(fd, TIOCOUTQ, &n) < 0) {
    count = 0;
    return errno;
  }
  count = n < 0 ? 0 : static_cast<std::uint32_t>(n);
  return 0;
}

int ReadLineCounters(int fd, LineCounters& counters) {
  serial_icounter_struct ic{};
  if (::ioctl(fd, TIOCGICOUNT, &ic) < 0) return errno;
  counters.frame = static_cast<std::uint32_t>(ic.frame);
  counters.overrun = static_cast<std::uint32_t>(ic.overrun);
  counters.parity = static_cast<std::uint32_t>(ic.parity);
  counters.brk = static_cast<std::uint32_t>(ic.brk);
  counters.bufOverrun = static_cast<std::uint32_t>(ic.buf_overrun);
  return 0;
}

std::uint32_t CounterErrors(const LineCounters& before, const LineCounters& after) {
  std::uint32_t flags = 0;
  if (after.frame != before.frame) flags |= CE_FRAME;
  if (after.overrun != before.overrun) flags |= CE_OVERRUN;
  if (after.parity != before.parity) flags |= CE_RXPARITY;
  if (after.brk != before.brk) flags |= CE_BREAK;
  if (after.bufOverrun != before.bufOverrun) flags |= CE_RXOVER;
  return flags;
}

int SetModemLine(int fd, ModemLine line, bool on) {
  int bits = line == ModemLine::Rts ? TIOCM_RTS : TIOCM_DTR;
  if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) < 0) return errno;
  return 0;
}

bool IsNoSuchControl(int err) { return err == ENOTTY || err == EINVAL; }

bool IsDeviceGone(int err) {
  return err == EIO || err == ENXIO || err == ENODEV || err == EPIPE || err == EBADF;
}

}  // namespace kelta::device
