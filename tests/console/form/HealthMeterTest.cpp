#include "console/form/HealthMeter.h"

#include <gtest/gtest.h>

namespace kelta {
namespace {

// A meter on a clock the test moves by hand.
struct ManualClock {
  double now = 100.0;
  HealthMeter Meter() {
    return HealthMeter([this] { return now; });
  }
};

TEST(HealthMeter, RateAndSecondsSinceTheLastReading) {
  ManualClock clock;
  HealthMeter meter = clock.Meter();
  HealthMeter::Health h = meter.Measure(true);
  EXPECT_FALSE(h.sinceLast.has_value());
  EXPECT_EQ(h.perSecond, 0);
  EXPECT_FALSE(h.stale);
  EXPECT_EQ(HealthText(h, 0), "0.0 readings/s, no reading yet, 0 dropped");

  // 10 readings a second for 3 s: the rate counts only the last two seconds.
  for (int i = 0; i < 30; ++i) {
    clock.now += 0.1;
    meter.Reading();
  }
  clock.now += 0.07;
  h = meter.Measure(true);
  EXPECT_NEAR(h.perSecond, 10.0, 0.51);
  ASSERT_TRUE(h.sinceLast.has_value());
  EXPECT_NEAR(*h.sinceLast, 0.07, 1e-9);
  EXPECT_EQ(HealthText(h, 7), "10.0 readings/s, last 0.1 s ago, 7 dropped");

  // Shortly after a restart the rate is over the time since it, not over the whole window.
  meter.Restart();
  clock.now += 0.5;
  for (int i = 0; i < 5; ++i) meter.Reading();
  EXPECT_NEAR(meter.Measure(false).perSecond, 10.0, 1e-9);
}

TEST(HealthMeter, AStreamIsStaleAfterThreeIntervalsButNeverWithinASecond) {
  ManualClock clock;
  HealthMeter meter = clock.Meter();
  // A slow stream, one reading every 0.5 s: stale after 1.5 s of silence.
  for (int i = 0; i < 4; ++i) {
    clock.now += 0.5;
    meter.Reading();
  }
  clock.now += 1.4;
  EXPECT_FALSE(meter.Measure(true).stale);
  clock.now += 0.2;
  EXPECT_TRUE(meter.Measure(true).stale);
  EXPECT_EQ(HealthText(meter.Measure(true), 0), "0.5 readings/s, last 1.6 s ago, 0 dropped, stale");
  // Not reading continuously: a pause is no fault.
  EXPECT_FALSE(meter.Measure(false).stale);
  // The next reading ends it.
  meter.Reading();
  EXPECT_FALSE(meter.Measure(true).stale);

  // A fast stream (100 per second): three intervals are 30 ms, but a second is the least.
  HealthMeter fast = clock.Meter();
  for (int i = 0; i < 200; ++i) {
    clock.now += 0.01;
    fast.Reading();
  }
  clock.now += 0.9;
  EXPECT_FALSE(fast.Measure(true).stale);
  clock.now += 0.2;
  EXPECT_TRUE(fast.Measure(true).stale);

  // Only one reading so far: no interval known, a second of silence is stale.
  HealthMeter once = clock.Meter();
  once.Reading();
  clock.now += 0.9;
  EXPECT_FALSE(once.Measure(true).stale);
  clock.now += 0.2;
  EXPECT_TRUE(once.Measure(true).stale);
}

}  // namespace
}  // namespace kelta
