#pragma once
// A full disk in miniature, Linux only: while one lives, no file of this process may grow past
// `bytes`, and writes beyond fail with EFBIG as they fail with ENOSPC on a full disk (the
// SIGXFSZ that would end the process is ignored meanwhile). Not thread-safe.

#include <sys/resource.h>

#include <csignal>

namespace kelta::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};

}  // namespace kelta::test
