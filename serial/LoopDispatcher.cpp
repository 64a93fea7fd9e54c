#include "serial/LoopDispatcher.h"

namespace kelta {

LoopDispatcher::LoopDispatcher() : guiThread_(std::this_thread::get_id()) {}

void LoopDispatcher::Call(const std::function<void()>& fn) {
  if (OnGuiThread()) {
    fn();
    return;
  }
  queue_.Call(fn);
}

bool LoopDispatcher::RunOne(std::chrono::steady_clock::time_point deadline) {
  if (!queue_.WaitQueued(deadline)) return false;
  queue_.RunOne();
  return true;
}

void LoopDispatcher::RunFor(std::chrono::milliseconds time) {
  const auto deadline = std::chrono::steady_clock::now() + time;
  while (RunOne(deadline)) {
  }
}

bool LoopDispatcher::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (!RunOne(deadline)) return done();
  }
  return true;
}

int LoopDispatcher::RunPending() {
  int ran = 0;
  const auto now = std::chrono::steady_clock::now();
  while (RunOne(now)) ++ran;
  return ran;
}

}  // namespace kelta
