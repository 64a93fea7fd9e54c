// The port talking to the simulated sensor as the console does: commands out through the
// write thread, replies and streamed frames in through OnRxChar, and the sensor unplugged.

#include <gtest/gtest.h>

#include <memory>

#include "apps/sim/SensorWire.h"
#include "apps/sim/SimulatedSensor.h"
#include "serial/LoopDispatcher.h"
#include "serial/VaComm.h"
#include "tests/serial/PortSetup.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using namespace std::chrono_literals;

class SensorExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SensorConfig config;
    config.fixedAngle = 123.4;
    config.framesPerSecond = 200;
    sensor_ = std::make_unique<sim::SimulatedSensor>(config);
    sensor_->Start();
    exe_.Link(4, sensor_->SlavePath());
    loop_ = std::make_shared<LoopDispatcher>();
    test::SetUpPort(port_, exe_.Path(), loop_, 4);
    port_.OnRxChar = [this](TVaCustomComm* sender, int) { received_ += sender->ReceiveText(); };
    port_.OnError = [this](TVaCustomComm*, int errors) { errors_.push_back(errors); };
  }

  bool Pump(const std::function<bool()>& done) { return loop_->RunUntil(done, 5s); }
  // For conditions no GUI call changes: looks again every few milliseconds.
  bool PumpWhileWatching(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) loop_->RunFor(10ms);
    return done();
  }

  test::ExeDir exe_;
  std::unique_ptr<sim::SimulatedSensor> sensor_;
  std::shared_ptr<LoopDispatcher> loop_;
  TVaComm port_;
  std::string received_;
  std::vector<int> errors_;
};

TEST_F(SensorExchangeTest, CommandsAndReplies) {
  port_.Open();
  port_.SetRtsLine(true);
  port_.SetDtrLine(true);
  ASSERT_TRUE(port_.SendText("#INFO\r\n"));
  ASSERT_TRUE(Pump([&] { return received_.find(sim::kInfoLineEnd) != std::string::npos; }));
  EXPECT_EQ(received_, sim::InfoLine(sensor_->Settings()));
  received_.clear();
  ASSERT_TRUE(port_.SendText("#DATA\r\n"));
  ASSERT_TRUE(Pump([&] { return received_.find('$') != std::string::npos; }));
  EXPECT_EQ(received_, sim::DataFrame("123.4"));
  // Both commands reached the sensor whole and in order.
  EXPECT_EQ(sensor_->ReceivedBytes(), "#INFO\r\n#DATA\r\n");
  port_.Close();
}

TEST_F(SensorExchangeTest, StreamedFramesArriveWholeAndInOrderUntilStop) {
  port_.Open();
  ASSERT_TRUE(port_.SendText("#READ\r\n"));
  const std::string frame = sim::DataFrame("123.4");
  ASSERT_TRUE(Pump([&] { return received_.size() >= 20 * frame.size(); }));
  ASSERT_TRUE(port_.SendText("#STOP\r\n"));
  ASSERT_TRUE(PumpWhileWatching([&] { return !sensor_->Streaming(); }));
  loop_->RunFor(100ms);  // frames already on the line
  ASSERT_EQ(received_.size() % frame.size(), 0u);
  for (std::size_t at = 0; at < received_.size(); at += frame.size()) {
    ASSERT_EQ(received_.substr(at, frame.size()), frame) << at;
  }
  EXPECT_TRUE(errors_.empty());
  port_.Close();
}

TEST_F(SensorExchangeTest, UnpluggedSensorIsOneIoError) {
  port_.Open();
  ASSERT_TRUE(port_.SendText("#READ\r\n"));
  ASSERT_TRUE(Pump([&] { return !received_.empty(); }));
  sensor_->HangUp();
  ASSERT_TRUE(Pump([&] { return !errors_.empty(); }));
  loop_->RunFor(200ms);
  EXPECT_EQ(errors_, std::vector<int>{CE_IOE});
  port_.Close();
  EXPECT_FALSE(port_.IsOpen());
}

}  // namespace
}  // namespace kelta
