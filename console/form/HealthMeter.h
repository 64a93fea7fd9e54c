#pragma once
// The live health line's figures: readings per second, seconds since the last reading, and
// whether a continuous stream has gone stale. Qt-free; the clock is injected so that the rules
// can be checked without sleeping. GUI thread only.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace kelta {

class HealthMeter {
 public:
  // Seconds on a clock that never goes back.
  using Clock = std::function<double()>;
  // Readings per second are counted over this many seconds before now.
  static constexpr double kRateWindow = 2.0;
  // A stream is stale after this many recent intervals without a reading, never sooner than
  // kMinStale seconds.
  static constexpr double kStaleIntervals = 3.0;
  static constexpr double kMinStale = 1.0;

  explicit HealthMeter(Clock clock = SteadySeconds);

  // Counting starts again (Connect).
  void Restart();
  // One reading was accepted now.
  void Reading();

  struct Health {
    double perSecond = 0;
    std::optional<double> sinceLast;  // none before the first reading
    bool stale = false;
  };
  // streaming: continuous reading is on, so a pause means a stale value.
  Health Measure(bool streaming) const;

  static double SteadySeconds();

 private:
  Clock clock_;
  double start_ = 0;
  // Times of the readings in the kRateWindow seconds up to the last one.
  std::deque<double> recent_;
  double lastGap_ = 0;  // between the last two readings; 0 before the second
};

// "10.0 readings/s, last 0.1 s ago, 0 dropped", with ", stale" when it is.
std::string HealthText(const HealthMeter::Health& health, uint64_t dropped);

}  // namespace kelta
