#include "console/form/HealthMeter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace kelta {

double HealthMeter::SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

HealthMeter::HealthMeter(Clock clock) : clock_(std::move(clock)) { Restart(); }

void HealthMeter::Restart() {
  start_ = clock_();
  recent_.clear();
  lastGap_ = 0;
}

void HealthMeter::Reading() {
  const double now = clock_();
  if (!recent_.empty()) lastGap_ = now - recent_.back();
  recent_.push_back(now);
  // Memory stays bounded by the window, not by the run time.
  while (recent_.front() < now - kRateWindow) recent_.pop_front();
}

HealthMeter::Health HealthMeter::Measure(bool streaming) const {
  const double now = clock_();
  Health health;
  const double window = std::min(kRateWindow, now - start_);
  if (window > 0) {
    const auto inWindow = std::count_if(recent_.begin(), recent_.end(),
                                        [&](double t) { return t > now - kRateWindow; });
    health.perSecond = static_cast<double>(inWindow) / window;
  }
  if (recent_.empty()) return health;
  health.sinceLast = now - recent_.back();
  // The recent interval: the mean gap of the readings kept, or the last gap when only one of
  // them is kept (a slow stream).
  const double interval = recent_.size() >= 2 ? (recent_.back() - recent_.front()) /
                                                    static_cast<double>(recent_.size() - 1)
                                              : lastGap_;
  health.stale = streaming && *health.sinceLast > std::max(kMinStale, kStaleIntervals * interval);
  return health;
}

std::string HealthText(const HealthMeter::Health& health, uint64_t dropped) {
  char text[128];
  if (health.sinceLast) {
    std::snprintf(text, sizeof text, "%.1f readings/s, last %.1f s ago, %llu dropped",
                  health.perSecond, *health.sinceLast, static_cast<unsigned long long>(dropped));
  } else {
    std::snprintf(text, sizeof text, "%.1f readings/s, no reading yet, %llu dropped",
                  health.perSecond, static_cast<unsigned long long>(dropped));
  }
  std::string line = text;
  if (health.stale) line += ", stale";
  return line;
}

}  // namespace kelta
