#include "console/form/FormClock.h"

#include "console/form/FormWindow.h"

#include <algorithm>

namespace kelta {

std::chrono::steady_clock::time_point FormClock::Now() const {
  return std::chrono::steady_clock::now();
}

std::chrono::system_clock::time_point FormClock::WallNow() const {
  return std::chrono::system_clock::now();
}

bool FormClock::Wait(IFormWindow& window, int ms, const std::function<bool()>& cancelled) {
  return window.WaitWithMessages(ms, cancelled);
}

std::chrono::steady_clock::time_point SkippingFormClock::Now() const {
  return FormClock::Now() + skipped_;
}

std::chrono::system_clock::time_point SkippingFormClock::WallNow() const {
  return FormClock::WallNow() +
         std::chrono::duration_cast<std::chrono::system_clock::duration>(skipped_);
}

bool SkippingFormClock::Wait(IFormWindow& window, int ms, const std::function<bool()>& cancelled) {
  if (!skipping_) return FormClock::Wait(window, ms, cancelled);
  // A click or notification already queued still runs inside the wait, as it would have.
  const bool ran = window.WaitWithMessages(0, cancelled);
  skipped_ += std::chrono::milliseconds(std::max(ms, 0));
  return ran;
}

}  // namespace kelta
