// What the simulated sensor sends, read by the console's own decoder and information parser:
// the sensor is only useful if the console accepts its frames and finds every item.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "apps/sim/SimulatedSensor.h"
#include "protocol/RxDecoder.h"
#include "protocol/SensorInfo.h"
#include "tests/support/Pty.h"

namespace kelta::sim {
namespace {

using namespace std::chrono_literals;
using test::PtyClient;

struct Decoded {
  std::vector<std::string> lines;
  std::vector<double> angles;
};

// Feeds every chunk the client read, one chunk per receive notification as the console does.
void Decode(RxDecoder& decoder, const std::vector<std::string>& chunks, Decoded& out) {
  const RxSink sink{[&](const std::string& line) { out.lines.push_back(line); },
                    [&](double value) { out.angles.push_back(value); }};
  for (const std::string& chunk : chunks) decoder.Feed(chunk, sink);
}

TEST(ConsoleDecodesSensor, InformationReplyGivesEveryItemWhole) {
  SensorConfig config;
  config.settings.id = 77;
  config.settings.mode = "0";
  config.settings.positiveRange = 3600;
  config.settings.negativeRange = 450;
  config.settings.coefficients[11] = "-12345";
  SimulatedSensor sensor(config);
  sensor.Start();
  PtyClient client(sensor.SlavePath());
  client.Write("#INFO\r\n");
  client.ReadUntilEnds("\r", 5s);
  RxDecoder decoder;
  Decoded decoded;
  Decode(decoder, client.Chunks(), decoded);
  ASSERT_EQ(decoded.lines.size(), 1u);
  EXPECT_TRUE(decoded.angles.empty());
  const SensorInfo info = ParseSensorInfo(decoded.lines[0]);
  EXPECT_EQ(info.items[0], "1.00");
  EXPECT_EQ(info.id, 77);
  EXPECT_EQ(info.items[2], "0");
  EXPECT_EQ(info.items[3], "1");
  EXPECT_EQ(info.items[5], "450");
  EXPECT_EQ(info.items[6], "0");  // the console shows it as 3600
  EXPECT_EQ(info.items[7], "1000");
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(info.items[9 + static_cast<size_t>(i)], std::to_string(100 + i)) << i;
  }
  EXPECT_EQ(info.items[20], "-12345");  // coefficient B keeps its last digit
}

TEST(ConsoleDecodesSensor, FramesPassTheBlockCheckWholeAndSplit) {
  for (const size_t split : {0u, 1u, 3u, 6u}) {
    SensorConfig config;
    config.fixedAngle = -123.4;
    config.splitBytes = split;
    config.splitGap = 20ms;
    SimulatedSensor sensor(config);
    sensor.Start();
    PtyClient client(sensor.SlavePath());
    RxDecoder decoder;
    Decoded decoded;
    for (int i = 0; i < 3; ++i) {
      client.Write(i == 1 ? "\xB1\x05" : "#DATA\r\n");
      client.ReadUntilEnds("$", 5s);
      Decode(decoder, client.Chunks(), decoded);
    }
    EXPECT_EQ(decoded.lines, (std::vector<std::string>{"-123.4", "-123.4", "-123.4"}))
        << "split " << split;
    EXPECT_EQ(decoded.angles, (std::vector<double>{-123.4, -123.4, -123.4})) << "split " << split;
    EXPECT_EQ(decoder.RxBuffer(), "");
  }
}

TEST(ConsoleDecodesSensor, StreamedFramesReadOneAtATimeAllPass) {
  SensorConfig config;
  config.framesPerSecond = 20;
  SimulatedSensor sensor(config);
  sensor.Start();
  PtyClient client(sensor.SlavePath());
  client.Write("#READ\r\n");
  RxDecoder decoder;
  Decoded decoded;
  // One frame per read: the console's check passes one ETB per chunk.
  for (int i = 0; i < 10; ++i) {
    client.ReadUntilEnds("$", 5s);
    Decode(decoder, client.Chunks(), decoded);
  }
  client.Write("#STOP\r\n");
  ASSERT_GE(decoded.angles.size(), 5u);
  for (size_t i = 0; i < decoded.angles.size(); ++i) {
    EXPECT_GE(decoded.angles[i], -180.0);
    EXPECT_LE(decoded.angles[i], 180.0);
    EXPECT_NE(decoded.lines[i].find('.'), std::string::npos);  // the console's "#READ" marker
  }
}

}  // namespace
}  // namespace kelta::sim
