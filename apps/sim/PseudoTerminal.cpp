#include "apps/sim/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kelta::sim {

namespace {

[[noreturn]] void ThrowErrno(int err, const std::string& what) {
  throw std::system_error(err, std::generic_category(), what);
}

// Raw at 9600 8N1: no echo (an echo would bounce the console's commands back to it and into
// our own reader), no CR/LF translation either way, no flow control.
void MakeSlaveRaw(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    ThrowErrno(err, "Cannot open " + path);
  }
  termios tio{};
  int err = 0;
  if (tcgetattr(fd, &tio) != 0) {
    err = errno;
  } else {
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | CS8;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) err = errno;
  }
  close(fd);
  if (err != 0) ThrowErrno(err, "Cannot set raw mode on " + path);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) {
    const int err = errno;
    ThrowErrno(err, "Cannot open a pseudo-terminal");
  }
  try {
    // posix_openpt takes no O_NONBLOCK/O_CLOEXEC portably; set them at once.
    if (fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 || fcntl(master_, F_SETFL, O_NONBLOCK) != 0) {
      const int err = errno;
      ThrowErrno(err, "Cannot set flags on the pseudo-terminal");
    }
    if (grantpt(master_) != 0) {
      const int err = errno;
      ThrowErrno(err, "grantpt failed");
    }
    if (unlockpt(master_) != 0) {
      const int err = errno;
      ThrowErrno(err, "unlockpt failed");
    }
    char name[128];
    const int rc = ptsname_r(master_, name, sizeof name);
    if (rc != 0) ThrowErrno(rc, "ptsname_r failed");
    slavePath_ = name;
    MakeSlaveRaw(slavePath_);
  } catch (...) {
    close(master_);
    master_ = -1;
    throw;
  }
}

PseudoTerminal::~PseudoTerminal() { Close(); }

void PseudoTerminal::Close() {
  if (master_ >= 0) {
    close(master_);
    master_ = -1;
  }
}

}  // namespace kelta::sim
