// KELTA_Dispaly --read-once: the drive through the window's own controls against the
// simulated sensor, and the option's parsing.

#include "tests/console/qt/SensorRig.h"

#include "console/core/UserSet.h"
#include "console/qt/ReadOnce.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kelta::test {
namespace {

TEST(ConsoleReadOnce, ReadsOneAngleStopsAndClosesSavingTheSettings) {
  sim::SensorConfig config;
  config.fixedAngle = -12.5;
  config.framesPerSecond = 20;
  SensorRig rig(config, 11);
  bool closed = false;
  QObject::connect(&rig.w(), &TFVANTORIS::Closed, [&closed] { closed = true; });

  testing::internal::CaptureStdout();
  StartReadOnce(rig.w(), QStringLiteral("COM11"), 5000);
  const bool ended = rig.PumpUntil([&closed] { return closed; });
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ended);
  EXPECT_EQ(out, "angle -12.5\n");
  // Connect's "#INFO", then "#READ" until the angle, then "#STOP" (once more for each frame
  // still on its way).
  const std::string got = rig.Received();
  EXPECT_EQ(got.rfind("#INFO\r\n#READ\r\n#STOP\r\n", 0), 0u) << got;
  EXPECT_FALSE(rig.sensor.Streaming());
  EXPECT_TRUE(rig.console->boxes->messages.isEmpty());
  // Closed as by its title bar: the settings saved with the port typed.
  const std::string bytes = ReadFile(rig.dir.File("UserSet.dat"));
  ASSERT_EQ(bytes.size(), kUserSetSize);
  EXPECT_EQ(bytes.substr(0, 6), std::string("\x05"
                                            "COM11",
                                            6));
}

TEST(ConsoleReadOnce, OptionNeedsAPortAndNothingElse) {
  EXPECT_EQ(ReadOncePort({}), std::nullopt);
  EXPECT_EQ(ReadOncePort({QStringLiteral("--read-once"), QStringLiteral("COM3")}),
            QStringLiteral("COM3"));
  EXPECT_THROW(ReadOncePort({QStringLiteral("--read-once")}), std::invalid_argument);
  EXPECT_THROW(ReadOncePort({QStringLiteral("--read-once"), QString()}), std::invalid_argument);
  EXPECT_THROW(ReadOncePort({QStringLiteral("COM3")}), std::invalid_argument);
  EXPECT_THROW(
      ReadOncePort({QStringLiteral("--read-once"), QStringLiteral("COM3"), QStringLiteral("x")}),
      std::invalid_argument);
}

}  // namespace
}  // namespace kelta::test
