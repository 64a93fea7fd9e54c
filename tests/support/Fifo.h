#pragma once
// A FIFO in a file's place, and a guard for calls that might block on it: a call still
// waiting after a few seconds counts as blocked, and is then released (the FIFO's other end
// is opened, a little data written and closed) so that the test program can go on and report.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

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

// For a call that must stay on its own thread (the GUI thread's): releases the FIFO, as
// above, when the call is still blocked on it a few seconds after the guard was made.
// Finish() ends the guard and tells whether the FIFO had to be released.
class FifoGuard {
 public:
  explicit FifoGuard(std::string fifo)
      : fifo_(std::move(fifo)), watcher_([this] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (finished_.wait_for(lock, std::chrono::seconds(3), [this] { return done_; })) return;
          released_ = true;
          ::signal(SIGPIPE, SIG_IGN);
          const int fd = ::open(fifo_.c_str(), O_RDWR | O_NONBLOCK);
          if (fd >= 0) {
            const std::string bytes(256, '\0');
            [[maybe_unused]] const ssize_t n = ::write(fd, bytes.data(), bytes.size());
            ::close(fd);
          }
        }) {}
  ~FifoGuard() { Finish(); }
  FifoGuard(const FifoGuard&) = delete;
  FifoGuard& operator=(const FifoGuard&) = delete;

  bool Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    finished_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    return released_;
  }

 private:
  std::string fifo_;
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  bool released_ = false;
  std::thread watcher_;
};

}  // namespace kelta::test
