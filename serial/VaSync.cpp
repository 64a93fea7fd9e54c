#include "serial/VaSync.h"

#include <chrono>

namespace kelta {

std::uint32_t TickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms.count()));
}

// --- TVaWaitEvent

TVaWaitEvent::TWaitResult TVaWaitEvent::WaitFor(int timeoutMs) {
  switch (Wait(timeoutMs)) {
    case Result::Signaled:
      return TWaitResult::wrSignaled;
    case Result::Timeout:
      return TWaitResult::wrTimeout;
    case Result::Abandoned:
      return TWaitResult::wrAbandoned;
    case Result::Failed:
      break;
  }
  return TWaitResult::wrError;
}

// --- DeviceGate

bool DeviceGate::Enter() {
  std::lock_guard<std::mutex> hold(lock_);
  if (shut_) return false;
  ++users_;
  return true;
}

void DeviceGate::Leave() {
  std::lock_guard<std::mutex> hold(lock_);
  if (--users_ == 0) idle_.notify_all();
}

void DeviceGate::ShutAndWait() {
  std::unique_lock<std::mutex> hold(lock_);
  shut_ = true;
  idle_.wait(hold, [this] { return users_ == 0; });
}

}  // namespace kelta
