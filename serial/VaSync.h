#pragma once
// Synchronisation pieces the port and its workers share: the wrapping millisecond tick and the
// time-out measure built on it, the manual-reset event, and the gate that keeps the device alive
// while a worker is inside a call on it.

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "serial/SerialDevice.h"

namespace kelta {

// Milliseconds of a monotonic clock, truncated to 32 bits: wraps every ~49.7 days, as the
// tick counter the time-out measure was written for.
std::uint32_t TickCount();

// A start tick and a length in milliseconds. All arithmetic is unsigned so that a wrapped
// counter never overflows a signed type.
struct TVaTimeout {
  std::uint32_t start = 0;
  std::uint32_t length = 0;

  // now - start while the counter has not wrapped since start; after a wrap
  // now + (0xFFFFFFFF - start), which is one less than the true distance (kept: callers'
  // time-outs were measured this way).
  static std::uint32_t Elapsed(std::uint32_t start, std::uint32_t now) {
    return now >= start ? now - start : now + (0xFFFFFFFFu - start);
  }
  // Strictly longer than length.
  bool Expired(std::uint32_t now) const { return Elapsed(start, now) > length; }
  // Milliseconds until Expired() can first be true (0 when it already is).
  std::uint32_t Remaining(std::uint32_t now) const {
    const std::uint32_t elapsed = Elapsed(start, now);
    return elapsed > length ? 0 : length - elapsed + 1;
  }
};

// The manual-reset event of the port and its workers (the system's own, SerialDevice.h): stays
// set until Reset; safe from any thread.
class TVaWaitEvent : public device::WaitEvent {
 public:
  enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

  // timeoutMs < 0 waits without limit.
  TWaitResult WaitFor(int timeoutMs);
};

// Guards a descriptor that worker threads use while its owner may close it. A worker brackets
// every call on the descriptor with Enter/Leave; Enter fails once the gate is shut. The owner
// shuts the gate (after waking any worker blocked on the descriptor) and gets back only when no
// worker is inside, so closing afterwards can never hit a worker's call, nor can a worker reach
// a number that was closed and reused.
class DeviceGate {
 public:
  bool Enter();
  void Leave();
  void ShutAndWait();

 private:
  std::mutex lock_;  // guards users_ and shut_
  std::condition_variable idle_;
  int users_ = 0;
  bool shut_ = false;
};

}  // namespace kelta
