#include "bench/serial/BenchPty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kelta::bench {

BenchPty::BenchPty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0 || grantpt(master_) < 0 || unlockpt(master_) < 0) {
    throw std::system_error(errno, std::generic_category(), "pseudo-terminal");
  }
  char name[128];
  ptsname_r(master_, name, sizeof name);
  slavePath_ = name;
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);
  close(slave);
}

BenchPty::~BenchPty() { close(master_); }

void BenchPty::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(master_, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{master_, POLLOUT, 0};
      poll(&p, 1, 100);
    } else if (n < 0 && errno != EINTR) {
      return;
    }
  }
}

void BenchPty::Drain() {
  char sink[4096];
  while (read(master_, sink, sizeof sink) > 0) {
  }
}

std::chrono::microseconds ProcessCpuTime() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto us = [](const timeval& t) {
    return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
  };
  return std::chrono::duration_cast<std::chrono::microseconds>(us(usage.ru_utime) +
                                                               us(usage.ru_stime));
}

}  // namespace kelta::bench
