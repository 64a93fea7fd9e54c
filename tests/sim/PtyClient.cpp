#include "tests/sim/PtyClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

namespace kelta::sim::test {

PtyClient::PtyClient(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    ADD_FAILURE() << "open " << path << ": " << std::strerror(errno);
    return;
  }
  termios tio{};
  if (tcgetattr(fd_, &tio) == 0) {
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(fd_, TCSANOW, &tio);
  }
}

PtyClient::~PtyClient() { Close(); }

void PtyClient::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void PtyClient::Write(std::string_view bytes) {
  while (!bytes.empty() && fd_ >= 0) {
    const ssize_t n = write(fd_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd_, POLLOUT, 0};
      poll(&p, 1, 100);
    } else if (!(n < 0 && errno == EINTR)) {
      ADD_FAILURE() << "write: " << std::strerror(errno);
      return;
    }
  }
}

std::string PtyClient::ReadUntil(const std::function<bool(const std::string&)>& done,
                                 std::chrono::milliseconds timeout) {
  chunks_.clear();
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (fd_ >= 0 && !done(text)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      chunks_.emplace_back(buffer, static_cast<size_t>(n));
      text.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;  // hung up
    }
  }
  return text;
}

std::string PtyClient::ReadUntilEnds(std::string_view suffix, std::chrono::milliseconds timeout) {
  return ReadUntil([&](const std::string& t) { return t.ends_with(suffix); }, timeout);
}

std::string PtyClient::ReadFor(std::chrono::milliseconds window) {
  return ReadUntil([](const std::string&) { return false; }, window);
}

bool PtyClient::WaitHangUp(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (fd_ >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    if (p.revents & POLLHUP) return true;
    char buffer[256];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno == EIO)) return true;
  }
  return false;
}

size_t CountOf(std::string_view text, char c) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), c));
}

}  // namespace kelta::sim::test
