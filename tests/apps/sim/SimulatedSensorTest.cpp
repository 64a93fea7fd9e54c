// The simulated sensor over a real pseudo-terminal, driven as the console drives it.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "apps/sim/SensorWire.h"
#include "apps/sim/SimulatedSensor.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/Pty.h"

namespace kelta::sim {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::CountOf;
using test::PtyClient;

class SensorTest : public ::testing::Test {
 protected:
  void StartWith(SensorConfig config) {
    sensor_ = std::make_unique<SimulatedSensor>(std::move(config));
    sensor_->Start();
    client_ = std::make_unique<PtyClient>(sensor_->SlavePath());
    ASSERT_TRUE(client_->IsOpen());
  }
  static SensorConfig Fixed(double angle) {
    SensorConfig config;
    config.fixedAngle = angle;
    return config;
  }
  std::string Ask(const std::string& command, std::string_view replyEnd) {
    client_->Write(command);
    return client_->ReadUntilEnds(replyEnd);
  }

  std::unique_ptr<SimulatedSensor> sensor_;
  std::unique_ptr<PtyClient> client_;
};

TEST_F(SensorTest, AnswersEachCommandWithItsExactBytes) {
  SensorConfig config = Fixed(123.4);
  StartWith(config);
  const std::string info = InfoLine(config.settings);
  const std::string frame =
      "\x02"
      "123.4\x17"
      "2A$";
  struct Step {
    std::string send;
    std::string reply;
  };
  // "#SAVE", "#STOP", plain text and other IDs' polls answer nothing: the next reply must
  // then be the first bytes to arrive.
  const Step steps[] = {
      {"#INFO\r\n", info},
      {"#DATA\r\n", frame},
      {"#SAVE\r\n#INFO\r\n", info},
      {"#STOP\r\n#DATA\r\n", frame},
      {"hello\r\n#DATA\r\n", frame},
      {"\xB1\x05", frame},
      {"\xB2\x05#DATA\r\n", frame},
      {"#BOGUS\r\n", "NG\r"},
      {"#DATA\r#INFO\n", frame + info},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(Ask(step.send, step.reply.substr(step.reply.size() - 1)), step.reply) << step.send;
  }
}

TEST_F(SensorTest, ConfigurationCommandsAnswerOkAndTakeTheValue) {
  StartWith(SensorConfig{});
  struct Step {
    const char* send;
    const char* reply;
    const char* infoHas;  // what the next "#INFO" shows
  };
  const Step steps[] = {
      {"#ID5\r\n", "OK\r", ",I:B5,"},           {"#ID78\r\n", "NG\r", ",I:B5,"},
      {"#ID-1\r\n", "NG\r", ",I:B5,"},          {"#CALI14900\r\n", "OK\r", ",N:900,"},
      {"#CALI15 3600\r\n", "NG\r", ",P:1800,"}, {"#CALI150\r\n", "OK\r", ",P:0,"},  // a full turn
      {"#CALI152700\r\n", "OK\r", ",P:2700,"},  {"#CALI153600\r\n", "OK\r", ",P:0,"},
      {"#MODE1\r\n", "OK\r", ",DM:1,"},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(Ask(step.send, "\r"), step.reply) << step.send;
    const std::string info = Ask("#INFO\r\n", "\r");
    EXPECT_NE(info.find(step.infoHas), std::string::npos) << step.send << " -> " << info;
  }
  const SensorSettings settings = sensor_->Settings();
  EXPECT_EQ(settings.id, 5);
  EXPECT_EQ(settings.negativeRange, 900);
  EXPECT_EQ(settings.positiveRange, 3600);
  EXPECT_EQ(settings.mode, "1");

  // The new ID takes the polls from now on.
  EXPECT_EQ(CountOf(Ask("\xB1\x05\xB5\x05", "$"), "$"), 1u);
}

TEST_F(SensorTest, StreamsAfterReadUntilStop) {
  SensorConfig config;
  config.framesPerSecond = 50;
  StartWith(config);
  client_->Write("#READ\r\n");
  const std::string stream = client_->ReadFor(1000ms);
  EXPECT_TRUE(sensor_->Streaming());
  // 50 a second for a second; bounds wide enough for a loaded machine.
  EXPECT_GE(CountOf(stream, "$"), 10u);
  EXPECT_LE(CountOf(stream, "$"), 100u);
  EXPECT_EQ(CountOf(stream, "\x02"), CountOf(stream, "$"));

  client_->Write("#STOP\r\n");
  // Whatever was in flight arrives before the information line; nothing after it.
  const std::string tail = Ask("#INFO\r\n", "\r");
  EXPECT_FALSE(sensor_->Streaming());
  EXPECT_EQ(client_->ReadFor(300ms), "");
  EXPECT_NE(tail.find("V:"), std::string::npos);
}

TEST_F(SensorTest, SweepStaysWithinTheRanges) {
  SensorConfig config;
  config.settings.negativeRange = 300;
  config.settings.positiveRange = 900;
  config.sweepPeriodSeconds = 0.5;
  config.framesPerSecond = 200;
  StartWith(config);
  client_->Write("#READ\r\n");
  const std::string stream = client_->ReadFor(800ms);
  client_->Write("#STOP\r\n");
  double low = 1e9;
  double high = -1e9;
  size_t frames = 0;
  for (size_t stx = stream.find('\x02'); stx != std::string::npos;
       stx = stream.find('\x02', stx + 1)) {
    const size_t etb = stream.find('\x17', stx);
    if (etb == std::string::npos) break;
    const double value = std::stod(stream.substr(stx + 1, etb - stx - 1));
    low = std::min(low, value);
    high = std::max(high, value);
    ++frames;
  }
  ASSERT_GE(frames, 20u);
  EXPECT_GE(low, -30.0);
  EXPECT_LE(high, 90.0);
  EXPECT_LT(low, 0.0);  // it does move, both ways
  EXPECT_GT(high, 60.0);
}

TEST_F(SensorTest, LogsEveryByteReceived) {
  SensorConfig config;
  config.silent = true;  // 0x05 after some bytes would otherwise be a poll
  StartWith(config);
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  client_->Write(all);
  ASSERT_TRUE(sensor_->WaitForReceived("\xFE\xFF", 5s));
  EXPECT_EQ(sensor_->ReceivedBytes(), all);
  EXPECT_EQ(sensor_->ReceivedCount(), 256u);
  sensor_->ClearReceived();
  client_->Write("#INFO\r\n");
  ASSERT_TRUE(sensor_->WaitForReceived("#INFO\r\n", 5s));
  EXPECT_EQ(sensor_->ReceivedBytes(), "#INFO\r\n");
  EXPECT_EQ(sensor_->ReceivedCount(), 263u);
  EXPECT_EQ(client_->ReadFor(200ms), "");  // silent
}

TEST_F(SensorTest, WriteRawPassesEveryByteValueUnchanged) {
  StartWith(SensorConfig{});
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(255 - b);
  ASSERT_TRUE(sensor_->WriteRaw(all));
  EXPECT_EQ(client_->ReadUntil([](const std::string& t) { return t.size() >= 256; }, 5s), all);

  client_->Close();  // nobody listens: dropped, not kept for the next client
  while (sensor_->WriteRaw("x")) std::this_thread::yield();
  client_ = std::make_unique<PtyClient>(sensor_->SlavePath());
  ASSERT_TRUE(sensor_->WriteRaw("y"));
  EXPECT_EQ(client_->ReadUntilEnds("y"), "y");
  sensor_->Stop();
  EXPECT_FALSE(sensor_->WriteRaw("z"));
}

TEST_F(SensorTest, LogAndLineBufferStayBoundedUnderAFlood) {
  SensorConfig config;
  config.receiveLogLimit = 1000;
  StartWith(config);
  const std::string flood(200000, 'x');  // one endless "line"
  client_->Write(flood);
  client_->Write("\r#ID9\r\n");
  EXPECT_EQ(client_->ReadUntilEnds("OK\r"), "OK\r");
  ASSERT_TRUE(sensor_->WaitForReceived("#ID9\r\n", 5s));  // the LF may trail the reply
  EXPECT_EQ(sensor_->ReceivedCount(), flood.size() + 7);
  const std::string log = sensor_->ReceivedBytes();
  EXPECT_LE(log.size(), 1000u);
  EXPECT_TRUE(log.ends_with("xxx\r#ID9\r\n"));
  EXPECT_EQ(sensor_->Settings().id, 9);
}

TEST_F(SensorTest, ACountingSensorNumbersTheFramesItSends) {
  SensorConfig config;
  config.countFrom = 5;
  config.countStep = 0.5;
  config.fixedAngle = 1;  // the count wins
  StartWith(config);
  EXPECT_EQ(Ask("#DATA\r\n", "$"), DataFrame("5.0"));
  EXPECT_EQ(Ask("#DATA\r\n", "$"), DataFrame("5.5"));
  // The n-th frame (from 0) at the step in force: 5 + 2 * 2, then 5 + 3 * 1.
  sensor_->Update([](SensorConfig& c) { c.countStep = 2; });
  EXPECT_EQ(Ask("#DATA\r\n", "$"), DataFrame("9.0"));
  // A frame is counted once written, which may be just after the reader saw its "$".
  ASSERT_TRUE(sensor_->WaitForFramesSent(3, 5s));
  EXPECT_EQ(sensor_->FramesSent(), 3u);
  sensor_->Update([](SensorConfig& c) { c.countStep = 1; });
  EXPECT_EQ(Ask("#DATA\r\n", "$"), DataFrame("8.0"));
  EXPECT_THROW(sensor_->Update([](SensorConfig& c) { c.countStep = INFINITY; }),
               std::invalid_argument);
}

// A count that wraps stays within its span, and every frame written is told to the frame
// observer with its number and text, in order.
TEST_F(SensorTest, AWrappingCountTellsEachFrameAsItLeaves) {
  SensorConfig config;
  config.countFrom = -180;
  config.countStep = 150;
  config.countWrap = 360;
  std::mutex mutex;
  std::vector<std::string> told;
  config.frameObserver = [&](uint64_t frame, const std::string& angle) {
    std::lock_guard lock(mutex);
    told.push_back(std::to_string(frame) + ":" + angle);
  };
  StartWith(config);
  // 0, 150, 300, 450 - 360, 600 - 360 past -180.
  for (const char* angle : {"-180.0", "-30.0", "120.0", "-90.0", "60.0"})
    EXPECT_EQ(Ask("#DATA\r\n", "$"), DataFrame(angle));
  ASSERT_TRUE(sensor_->WaitForFramesSent(5, 5s));
  std::lock_guard lock(mutex);
  EXPECT_EQ(told,
            (std::vector<std::string>{"0:-180.0", "1:-30.0", "2:120.0", "3:-90.0", "4:60.0"}));
  EXPECT_THROW(sensor_->Update([](SensorConfig& c) { c.countWrap = -1; }), std::invalid_argument);
}

TEST_F(SensorTest, SwitchesShapeTheReplies) {
  StartWith(Fixed(12.6));
  const std::string frame = DataFrame("12.6");

  sensor_->Update([](SensorConfig& c) { c.noDecimal = true; });
  EXPECT_EQ(Ask("#DATA\r\n", "$"), DataFrame("13"));

  sensor_->Update([](SensorConfig& c) {
    c.noDecimal = false;
    c.garbage = "zz\r\x17";
  });
  EXPECT_EQ(Ask("#DATA\r\n", "$"), "zz\r\x17" + frame);

  sensor_->Update([](SensorConfig& c) {
    c.garbage.clear();
    c.silent = true;
  });
  client_->Write("#DATA\r\n#INFO\r\n\xB1\x05");
  ASSERT_TRUE(sensor_->WaitForReceived("\xB1\x05", 5s));
  sensor_->Update([](SensorConfig& c) { c.silent = false; });
  EXPECT_EQ(Ask("#DATA\r\n", "$"), frame);  // nothing from the silent time came first

  sensor_->Update([](SensorConfig& c) { c.fixedAngle = -7.25; });
  EXPECT_EQ(Ask("#DATA\r\n", "$"), DataFrame("-7.2"));
  sensor_->Update([](SensorConfig& c) { c.fixedAngle.reset(); });
  EXPECT_EQ(CountOf(Ask("#DATA\r\n", "$"), "."), 1u);

  EXPECT_THROW(sensor_->Update([](SensorConfig& c) { c.settings.id = 99; }), std::invalid_argument);
  EXPECT_EQ(sensor_->Settings().id, 1);  // unchanged
}

TEST_F(SensorTest, SplitFramesArriveInSeveralPieces) {
  SensorConfig config = Fixed(123.4);
  config.splitBytes = 3;
  config.splitGap = 50ms;
  StartWith(config);
  EXPECT_EQ(Ask("#DATA\r\n", "$"), DataFrame("123.4"));
  // Three pieces 50 ms apart: a reader waiting on the line sees them apart.
  EXPECT_GE(client_->Chunks().size(), 2u);
}

// Lower bounds only: a reply may come late on a loaded machine, never early.
TEST_F(SensorTest, DelayAndLineRateHoldRepliesBack) {
  SensorConfig config;
  config.replyDelay = 300ms;
  StartWith(config);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ask("#ID3\r\n", "\r"), "OK\r");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);

  sensor_->Update([](SensorConfig& c) {
    c.replyDelay = 0ms;
    c.lineBaud = 9600;
  });
  start = std::chrono::steady_clock::now();
  const std::string info = Ask("#INFO\r\n", "\r");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(info, InfoLine(sensor_->Settings()));
  // 10 bits a byte at 9600 baud: a little over 1 ms each.
  EXPECT_GE(took, std::chrono::microseconds(1000) * (info.size() - 1));
}

TEST_F(SensorTest, ClientsMayCloseAndReopen) {
  SensorConfig config = Fixed(1.5);
  config.framesPerSecond = 200;
  StartWith(config);
  client_->Write("#READ\r\n");
  ASSERT_TRUE(sensor_->WaitForFramesSent(3, 5s));
  for (int cycle = 0; cycle < 50; ++cycle) {
    client_.reset();
    client_ = std::make_unique<PtyClient>(sensor_->SlavePath());
    ASSERT_TRUE(client_->IsOpen());
  }
  client_->Write("#STOP\r\n");
  Ask("#INFO\r\n", "\r");
  client_->ReadFor(100ms);
  EXPECT_EQ(Ask("#DATA\r\n", "$"), DataFrame("1.5"));
}

TEST_F(SensorTest, NothingIsQueuedWhileNobodyListens) {
  SensorConfig config;
  config.framesPerSecond = 500;
  StartWith(config);
  client_->Write("#READ\r\n");
  ASSERT_TRUE(sensor_->WaitForFramesSent(5, 5s));
  client_->Close();
  std::this_thread::sleep_for(100ms);  // a frame in flight may still count
  const uint64_t before = sensor_->FramesSent();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(sensor_->FramesSent(), before);
  EXPECT_TRUE(sensor_->Streaming());

  client_ = std::make_unique<PtyClient>(sensor_->SlavePath());
  ASSERT_TRUE(sensor_->WaitForFramesSent(before + 3, 5s));  // streams again
  client_->Write("#STOP\r\n");
  // No backlog of the 150 frames the closed time would have held.
  const std::string after = Ask("#INFO\r\n", "\r");
  EXPECT_LT(CountOf(after, "$"), 60u);
}

TEST_F(SensorTest, HangUpIsSeenByTheClient) {
  StartWith(SensorConfig{});
  EXPECT_EQ(CountOf(Ask("#INFO\r\n", "\r"), ","), 20u);
  sensor_->HangUp();
  EXPECT_TRUE(client_->WaitHangUp(5s));
  sensor_->HangUp();  // again: nothing
  sensor_->Stop();
  sensor_->Stop();
}

TEST_F(SensorTest, StopEndsAWriteBlockedOnAFullLine) {
  SensorConfig config = Fixed(100.0);
  config.framesPerSecond = 1000;
  config.garbage = std::string(4000, 'g');  // fills the line in a few frames
  StartWith(config);
  client_->Write("#READ\r\n");  // and never read
  ASSERT_TRUE(sensor_->WaitForFramesSent(1, 10s));
  uint64_t previous = 0;
  while (sensor_->FramesSent() != previous) {  // until the writer is stuck
    previous = sensor_->FramesSent();
    std::this_thread::sleep_for(200ms);
  }
  sensor_->Stop();  // returns: the test would hang otherwise
  SUCCEED();
}

TEST(SimulatedSensor, LeavesNoDescriptorOrThreadBehind) {
  const int fds = test::OpenDescriptorCount();
  const int threads = test::ThreadCount();
  for (int round = 0; round < 20; ++round) {
    SensorConfig config;
    config.framesPerSecond = 200;
    SimulatedSensor sensor(config);
    sensor.Start();
    PtyClient client(sensor.SlavePath());
    client.Write("#READ\r\n");
    ASSERT_TRUE(sensor.WaitForFramesSent(2, 5s));
    if (round % 2 == 1) sensor.HangUp();
    if (round % 3 == 0) sensor.Stop();
  }
  EXPECT_EQ(test::OpenDescriptorCount(), fds);
  EXPECT_EQ(test::ThreadCount(), threads);
}

TEST(SimulatedSensor, RefusesABadConfigurationAndASecondStart) {
  SensorConfig config;
  config.framesPerSecond = 0;
  EXPECT_THROW(SimulatedSensor{config}, std::invalid_argument);
  SimulatedSensor sensor;
  EXPECT_EQ(sensor.SlavePath(), "");
  sensor.Start();
  EXPECT_TRUE(sensor.SlavePath().starts_with("/dev/pts/"));
  EXPECT_THROW(sensor.Start(), std::logic_error);
}

TEST(SimulatedSensor, LineObserverSeesEachCommandLine) {
  std::mutex mutex;
  std::vector<std::string> lines;
  SensorConfig config;
  config.lineObserver = [&](const std::string& line) {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  };
  SimulatedSensor sensor(config);
  sensor.Start();
  PtyClient client(sensor.SlavePath());
  client.Write("#INFO\r\n\xB1\x05#SAVE\r\n");
  client.ReadUntilEnds("$");
  ASSERT_TRUE(sensor.WaitForReceived("#SAVE\r\n", 5s));
  sensor.Stop();
  std::lock_guard lock(mutex);
  EXPECT_EQ(lines, (std::vector<std::string>{"#INFO", "#SAVE"}));
}

// Several sensors on one line: each ID answers its own poll with its own angle, in the order
// polled; an ID not on the bus and the line's plain ID outside the list stay silent.
TEST_F(SensorTest, ABusAnswersThePollOfEachOfItsIds) {
  SensorConfig config = Fixed(10.0);
  config.busIds = {1, 2, 7};
  StartWith(config);
  const auto poll = [&](int id) {
    client_->Write(std::string{static_cast<char>(AddressByte(id)), kEnq});
  };
  poll(7);
  poll(1);
  poll(2);
  EXPECT_EQ(client_->Read(3 * 9, 5s),
            "\x02"
            "12.0\x17"
            "1D$"
            "\x02"
            "10.0\x17"
            "1F$"
            "\x02"
            "11.0\x17"
            "1E$");
  // 9 is not on the bus: nothing may come before the next real answer.
  poll(9);
  poll(0);
  poll(2);
  EXPECT_EQ(client_->ReadUntilEnds("$"),
            "\x02"
            "11.0\x17"
            "1E$");
  // Counted once written, which may be just after the client read them.
  EXPECT_TRUE(sensor_->WaitForFramesSent(4, 5s));
  EXPECT_EQ(sensor_->FramesSent(), 4u);

  // Sweeping (slowly enough to stand still here), each ID is a third of a turn apart.
  SensorConfig sweep;
  sweep.busIds = {4, 5, 6};
  sweep.sweepPeriodSeconds = 1e6;
  StartWith(sweep);
  poll(6);
  poll(5);
  poll(4);
  const std::string frames =
      client_->ReadUntil([](const std::string& text) { return CountOf(text, "$") == 3; }, 5s);
  EXPECT_EQ(frames,
            "\x02"
            "-155.9\x17"
            "0B$"
            "\x02"
            "155.9\x17"
            "26$"
            "\x02"
            "0.0\x17"
            "2E$");

  SensorConfig twice;
  twice.busIds = {3, 3};
  EXPECT_THROW(SimulatedSensor{twice}, std::invalid_argument);
  twice.busIds = {78};
  EXPECT_THROW(SimulatedSensor{twice}, std::invalid_argument);
}

}  // namespace
}  // namespace kelta::sim
