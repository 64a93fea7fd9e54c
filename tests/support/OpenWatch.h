#pragma once
// The opens of one file or device counted, by inotify's open events (a link is followed to
// what it leads to), Linux only, header only: a test shows that a device was never opened.
// Not thread-safe.

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace kelta::test {

class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0 || inotify_add_watch(fd_, path.c_str(), IN_OPEN) < 0) {
      const int error = errno;
      if (fd_ >= 0) close(fd_);
      throw std::system_error(error, std::generic_category(), "inotify on " + path);
    }
  }
  ~OpenWatch() { close(fd_); }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  // The opens since the watch began.
  int Opens() {
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;)
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->mask & IN_OPEN) ++opens_;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    return opens_;
  }

 private:
  int fd_;
  int opens_ = 0;
};

}  // namespace kelta::test
