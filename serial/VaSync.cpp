#include "serial/VaSync.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace kelta {

std::uint32_t TickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms.count()));
}

// --- TVaWaitEvent

TVaWaitEvent::TVaWaitEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) {
    const int err = errno;
    throw std::system_error(err, std::generic_category(), "eventfd");
  }
}

TVaWaitEvent::~TVaWaitEvent() { ::close(fd_); }

void TVaWaitEvent::Set() {
  const std::uint64_t one = 1;
  // The counter cannot overflow in practice, and EAGAIN would mean it is set anyway.
  while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void TVaWaitEvent::Reset() {
  std::uint64_t value;
  while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

TVaWaitEvent::TWaitResult TVaWaitEvent::WaitFor(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeoutMs);
    if (r > 0) return (p.revents & POLLIN) ? TWaitResult::wrSignaled : TWaitResult::wrAbandoned;
    if (r == 0) return TWaitResult::wrTimeout;
    if (errno != EINTR) return TWaitResult::wrError;
  }
}

// --- TVaDeviceGate

bool TVaDeviceGate::Enter() {
  std::lock_guard<std::mutex> hold(lock_);
  if (shut_) return false;
  ++users_;
  return true;
}

void TVaDeviceGate::Leave() {
  std::lock_guard<std::mutex> hold(lock_);
  if (--users_ == 0) idle_.notify_all();
}

void TVaDeviceGate::ShutAndWait() {
  std::unique_lock<std::mutex> hold(lock_);
  shut_ = true;
  idle_.wait(hold, [this] { return users_ == 0; });
}

}  // namespace kelta
