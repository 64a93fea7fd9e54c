#include "console/form/FramePacer.h"

#include "console/form/FormWindow.h"

#include <algorithm>

namespace kelta {

FramePacer::FramePacer(IFormWindow& window,
                       std::function<std::chrono::steady_clock::time_point()> now,
                       std::function<void()> show)
    : window_(window), now_(std::move(now)), show_(std::move(show)) {}

FramePacer::~FramePacer() { StopTimer(); }

void FramePacer::Changed() {
  if (timer_ != 0) return;  // the frame's end shows it with the rest
  const auto now = now_();
  const auto since = lastShown_ ? now - *lastShown_ : std::chrono::steady_clock::duration::max();
  if (since >= kFrame) {
    Show();
    return;
  }
  // The timer is the window's repeating one, stopped at its first tick: it runs once.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(kFrame - since);
  const int ms = std::max(1, static_cast<int>(left.count()));
  timer_ = window_.StartTimer(ms, [this] {
    StopTimer();
    Show();
  });
}

void FramePacer::ShowNow() {
  if (timer_ == 0) return;
  StopTimer();
  Show();
}

void FramePacer::Cancel() { StopTimer(); }

void FramePacer::StopTimer() {
  if (timer_ == 0) return;
  window_.StopTimer(timer_);
  timer_ = 0;
}

void FramePacer::Show() {
  // Counted first: a showing that throws is not tried again for the same frame.
  lastShown_ = now_();
  show_();
}

}  // namespace kelta
