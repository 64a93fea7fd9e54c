#include "tests/support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kelta::test {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

void LineEnd::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(Fd(), bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{Fd(), POLLOUT, 0};
      poll(&p, 1, 100);
    } else if (n < 0 && errno != EINTR) {
      Fail("write");
    }
  }
}

std::string LineEnd::ReadUntil(const std::function<bool(const std::string&)>& done,
                               std::chrono::milliseconds timeout) {
  chunks_.clear();
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Fd() >= 0 && !done(text)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{Fd(), POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(Fd(), buffer, sizeof buffer);
    if (n > 0) {
      chunks_.emplace_back(buffer, static_cast<std::size_t>(n));
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      break;  // hung up
    }
  }
  return text;
}

std::string LineEnd::Read(std::size_t count, std::chrono::milliseconds timeout) {
  return ReadUntil([count](const std::string& t) { return t.size() >= count; }, timeout);
}

std::string LineEnd::ReadUntilEnds(std::string_view suffix, std::chrono::milliseconds timeout) {
  return ReadUntil([&](const std::string& t) { return t.ends_with(suffix); }, timeout);
}

std::string LineEnd::ReadFor(std::chrono::milliseconds window) {
  return ReadUntil([](const std::string&) { return false; }, window);
}

void LineEnd::Drain() {
  char sink[4096];
  while (read(Fd(), sink, sizeof sink) > 0) {
  }
}

bool LineEnd::WaitHangUp(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Fd() >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{Fd(), POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    if (p.revents & POLLHUP) return true;
    char buffer[256];
    const ssize_t n = read(Fd(), buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno == EIO)) return true;
  }
  return false;
}

PtyClient::PtyClient(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) Fail("open " + path);
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

std::size_t CountOf(std::string_view text, std::string_view needle) {
  std::size_t n = 0;
  for (std::size_t at = text.find(needle); at != std::string_view::npos && !needle.empty();
       at = text.find(needle, at + needle.size())) {
    ++n;
  }
  return n;
}

}  // namespace kelta::test
