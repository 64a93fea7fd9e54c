#pragma once
// A FIFO in a file's place, and a guard for calls that might block on it: a call still
// waiting after a few seconds counts as blocked, and is then released (the FIFO's other end
// is opened, a little data written and closed) so that the test program can go on and report.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>

namespace kelta::test {

inline void MakeFifo(const std::string& path) {
  if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo " + path);
}

// Runs call() on another thread. Returns its result (rethrowing what it threw); `blocked`
// tells whether it had to be released.
template <class Call>
auto CallBesideFifo(const std::string& fifo, Call call, bool& blocked) {
  // A writer released by a reader that is gone again gets EPIPE instead of a fatal signal.
  ::signal(SIGPIPE, SIG_IGN);
  auto done = std::async(std::launch::async, call);
  blocked = done.wait_for(std::chrono::seconds(3)) != std::future_status::ready;
  if (blocked) {
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    if (fd >= 0) {
      const std::string bytes(256, '\0');
      [[maybe_unused]] const ssize_t n = ::write(fd, bytes.data(), bytes.size());
      ::close(fd);
    }
  }
  return done.get();
}

}  // namespace kelta::test
