#pragma once
// Where the form's time comes from: how long its waits for an answer or for quiet last, and the
// steady and calendar time that stamp readings, start recordings and drive the health line.
// The console runs on the real clocks. A test of a sensor that does not answer may let those
// waits pass without sleeping (SkippingFormClock): nothing arrives during them anyway, so only
// the time would be spent. GUI thread only.

#include <chrono>
#include <functional>

namespace kelta {

class IFormWindow;

class FormClock {
 public:
  virtual ~FormClock() = default;
  virtual std::chrono::steady_clock::time_point Now() const;
  virtual std::chrono::system_clock::time_point WallNow() const;
  // Runs the window's messages for ms milliseconds of this clock; false when `cancelled`
  // turned true first.
  virtual bool Wait(IFormWindow& window, int ms, const std::function<bool()>& cancelled);
};

// While skipping, a wait runs only the messages that are there already and then counts its
// time as passed. Its time is the real one plus every skipped wait, so it never goes back,
// whether skipping is on or off; with skipping off it waits as the real clock does.
class SkippingFormClock final : public FormClock {
 public:
  void Skip(bool on) { skipping_ = on; }
  // Time passes at once, as if the form had waited this long.
  void Advance(std::chrono::milliseconds by) { skipped_ += by; }
  std::chrono::milliseconds Skipped() const { return skipped_; }

  std::chrono::steady_clock::time_point Now() const override;
  std::chrono::system_clock::time_point WallNow() const override;
  bool Wait(IFormWindow& window, int ms, const std::function<bool()>& cancelled) override;

 private:
  bool skipping_ = false;
  std::chrono::milliseconds skipped_{0};
};

}  // namespace kelta
