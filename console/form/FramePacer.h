#pragma once
// How often the window shows what came. Readings are taken in as they arrive (listed,
// recorded, trended), but a display refreshes about 60 times a second: painting each reading
// of a fast stream only spends time no one sees, and at a thousand a second it is what makes
// the console fall behind its line. So what comes within one frame of the last showing waits
// for the next frame and is shown then in one go, the newest of it; what comes after a quiet
// spell is shown at once, so a lone reading appears without delay.
//
// The frame is timed by the window's timer and the form's clock. GUI thread only.

#include <chrono>
#include <functional>
#include <optional>

namespace kelta {

class IFormWindow;

class FramePacer {
 public:
  // About one refresh of a 60 Hz display.
  static constexpr std::chrono::milliseconds kFrame{16};

  // now: the clock the frames are counted on. show: shows whatever waits (the pacer never
  // looks at what that is); it may throw, and then the showing still counts as done.
  FramePacer(IFormWindow& window, std::function<std::chrono::steady_clock::time_point()> now,
             std::function<void()> show);
  ~FramePacer();
  FramePacer(const FramePacer&) = delete;
  FramePacer& operator=(const FramePacer&) = delete;

  // Something new waits to be shown: shown now when the last showing is a frame old or more,
  // otherwise when that frame is over.
  void Changed();
  // Whatever waits is shown now, not at the frame's end.
  void ShowNow();
  // What waited has been dropped: no showing is due.
  void Cancel();

 private:
  void StopTimer();
  void Show();

  IFormWindow& window_;
  const std::function<std::chrono::steady_clock::time_point()> now_;
  const std::function<void()> show_;
  std::optional<std::chrono::steady_clock::time_point> lastShown_;
  int timer_ = 0;  // the frame's end, while something waits for it
};

}  // namespace kelta
