// kelta-record end to end: the simulator (kelta-sim) on a pseudo-terminal linked as COM4, a real
// broker on a free loopback port, a subscriber, and the recorder as a user or a service starts
// it (one case runs the recorder's serial side in the test's own process instead, to give its
// COM number a fallback device of the test's own). Every wait has a generous limit; nothing
// here measures speed.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "apps/recorder/MqttPublisher.h"
#include "apps/recorder/Recorder.h"
#include "apps/sim/PortLink.h"
#include "apps/sim/SensorWire.h"
#include "apps/sim/SimulatedSensor.h"
#include "serial/portmap/PortMap.h"
#include "tests/apps/recorder/LiveBroker.h"
#include "tests/support/Fifo.h"
#include "tests/support/Files.h"
#include "tests/support/OpenWatch.h"
#include "tests/support/Pty.h"
#include "tests/support/RunTool.h"
#include "tests/support/TempDir.h"

namespace kelta::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// The names of what a folder holds, in order.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The sequence numbers of one sensor's readings, as the subscriber got them.
std::vector<long long> Sequence(const std::vector<Message>& messages, const std::string& topic) {
  std::vector<long long> seq;
  for (const Message& m : messages) {
    if (m.topic == topic) seq.push_back(JsonNumber(m.payload, "seq"));
  }
  return seq;
}

// At least once, in order: without repeats it is 1, 2, ..., n (a repeat after a reconnect may
// come, but never a number before its first appearance's successors).
void ExpectEveryNumberInOrder(const std::vector<long long>& seq, long long n) {
  std::vector<long long> first;
  std::set<long long> seen;
  for (const long long s : seq) {
    if (seen.insert(s).second) first.push_back(s);
  }
  std::vector<long long> expected(static_cast<size_t>(n));
  for (long long i = 0; i < n; ++i) expected[static_cast<size_t>(i)] = i + 1;
  EXPECT_EQ(first, expected);
}

// "2026-12-07T14:02:11.250Z" -> milliseconds since that day's midnight.
long long MillisOfDay(const std::string& time) {
  if (time.size() < 23) return 0;
  return ((std::stoll(time.substr(11, 2)) * 60 + std::stoll(time.substr(14, 2))) * 60 +
          std::stoll(time.substr(17, 2))) *
             1000 +
         std::stoll(time.substr(20, 3));
}

class RecordTest : public ::testing::Test {
 protected:
  static std::string Bin(const std::string& name) { return ExecutableDir() + name; }

  void StartSim(std::vector<std::string> args) {
    sim_.reset();
    WriteFile(dir_.File("sim.out"), "");
    std::vector<std::string> argv = {Bin("kelta-sim"), "--com",     "4",
                                     "--exe-dir",      dir_.Path(), "--force"};
    argv.insert(argv.end(), args.begin(), args.end());
    sim_ = std::make_unique<Child>(argv, dir_.File("sim.out"), dir_.File("sim.err"));
    ASSERT_TRUE(WaitUntil([&] {
      return ReadFile(dir_.File("sim.out")).find("COM4") != std::string::npos;
    })) << ReadFile(dir_.File("sim.err"));
  }
  void StartBroker() {
    if (!broker_) broker_ = std::make_unique<LiveBroker>(dir_.Path());
    broker_->Start();
  }
  void StartRecorder(std::vector<std::string> args) {
    std::vector<std::string> argv = {Bin("kelta-record"), "COM4",   "--exe-dir", dir_.Path(),
                                     "--stdout",          "--name", "rig",       "--queue-dir",
                                     dir_.File("queue")};
    argv.insert(argv.end(), args.begin(), args.end());
    recorder_ = std::make_unique<Child>(argv, dir_.File("rec.out"), dir_.File("rec.err"));
  }
  std::string Errors() const { return ReadFile(dir_.File("rec.err")); }
  std::vector<std::string> Printed() const { return Lines(ReadFile(dir_.File("rec.out"))); }
  bool ErrorsSay(const std::string& text, std::chrono::milliseconds timeout = 30s) const {
    return WaitUntil([&] { return Errors().find(text) != std::string::npos; }, timeout);
  }
  int Terminate() {
    recorder_->Signal(SIGTERM);
    return recorder_->Wait();
  }

  TempDir dir_;
  std::unique_ptr<LiveBroker> broker_;
  std::unique_ptr<Child> sim_;
  std::unique_ptr<Child> recorder_;
};

// Continuous mode into all three outputs; SIGTERM ends it with status 0 and every reading in
// every output: the CSV file, standard output and the broker hold the same readings.
TEST_F(RecordTest, ContinuousModeEndToEndAndSigtermFlushesEverything) {
  StartSim({"--angle", "12.5", "--rate", "50", "--mode", "1", "--nrange", "900"});
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  StartRecorder({"--mqtt", broker_->Address(), "--csv", dir_.File("rec.csv")});
  const std::string topic = "kelta/rig/reading/1";
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) { return Sequence(m, topic).size() >= 30; }))
      << Errors();
  EXPECT_TRUE(subscriber.WaitFor([](const std::vector<Message>& m) {
    return std::any_of(m.begin(), m.end(), [](const Message& x) {
      return x.topic == "kelta/rig/status" && x.payload == "online";
    });
  }));

  EXPECT_EQ(Terminate(), 0) << Errors();
  const std::vector<std::string> printed = Printed();
  ASSERT_GE(printed.size(), 30u);
  const auto n = static_cast<long long>(printed.size());
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    const auto seq = Sequence(m, topic);
    return !seq.empty() && *std::max_element(seq.begin(), seq.end()) >= n;
  })) << Errors();
  const std::vector<Message> messages = subscriber.Messages();
  ExpectEveryNumberInOrder(Sequence(messages, topic), n);
  EXPECT_EQ(messages.back().topic, "kelta/rig/status");
  EXPECT_EQ(messages.back().payload, "offline");

  // What one reading holds: the stamp, the port, the sensor's own ID and settings.
  const std::string& first = printed.front();
  EXPECT_EQ(JsonNumber(first, "seq"), 1);
  EXPECT_EQ(JsonText(first, "port"), "COM4");
  EXPECT_EQ(JsonNumber(first, "id"), 1);
  EXPECT_NE(first.find("\"angle\":12.5,\"line\":\"12.5\""), std::string::npos) << first;
  EXPECT_EQ(JsonText(first, "mode"), "1");
  EXPECT_EQ(JsonText(first, "nrange"), "900");
  const std::string time = JsonText(first, "time");
  EXPECT_EQ(time.size(), 24u) << time;
  EXPECT_TRUE(time.ends_with("Z")) << time;
  for (const Message& m : messages) {
    if (m.topic == topic && JsonNumber(m.payload, "seq") == 1) {
      EXPECT_EQ(m.payload, first);
    }
  }

  // The CSV file: the console's header, then the same readings.
  const std::vector<std::string> rows = Lines(ReadFile(dir_.File("rec.csv")));
  ASSERT_EQ(rows.size(), printed.size() + 1);
  EXPECT_EQ(rows.front(), "time,seconds,angle,line,port,sensor_id");
  EXPECT_TRUE(rows.back().ends_with(",12.5,12.5,COM4,1")) << rows.back();
  EXPECT_NE(Errors().find("stopped"), std::string::npos) << Errors();
}

// Three sensors on one line and one ID nobody answers: each answering ID is recorded under its
// own ID with its own angle in every round; the silent one is reported and counted, and the
// others never wait for it.
TEST_F(RecordTest, BusModeRecordsEachIdAndCountsASilentOne) {
  StartSim({"--ids", "1,2,7", "--angle", "10"});
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  StartRecorder(
      {"--mqtt", broker_->Address(), "--ids", "1,9,2,7", "--interval", "200", "--reply-ms", "40"});
  const auto reading = [](int id) { return "kelta/rig/reading/" + std::to_string(id); };
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    return Sequence(m, reading(1)).size() >= 8 && Sequence(m, reading(2)).size() >= 8 &&
           Sequence(m, reading(7)).size() >= 8;
  })) << Errors();
  EXPECT_TRUE(ErrorsSay("ID 9: no answer")) << Errors();
  // The counters say how often 9 was polled in vain; the state says who delivers.
  EXPECT_TRUE(subscriber.WaitFor([](const std::vector<Message>& m) {
    return std::any_of(m.begin(), m.end(), [](const Message& x) {
      return x.topic == "kelta/rig/counters" && JsonNumber(x.payload, "9") >= 3;
    });
  }));
  EXPECT_TRUE(subscriber.WaitFor([](const std::vector<Message>& m) {
    return std::any_of(m.begin(), m.end(), [](const Message& x) {
      return x.topic == "kelta/rig/state" &&
             x.payload.starts_with(
                 "{\"device\":\"present\",\"sensors\":{\"1\":\"streaming\","
                 "\"2\":\"streaming\",\"7\":\"streaming\",\"9\":\"silent\"}");
    });
  }));
  EXPECT_EQ(Terminate(), 0) << Errors();

  std::map<long long, std::vector<long long>> seqs;
  std::map<long long, std::set<std::string>> angles;
  for (const std::string& line : Printed()) {
    const long long id = JsonNumber(line, "id");
    seqs[id].push_back(JsonNumber(line, "seq"));
    angles[id].insert(line.substr(line.find("\"angle\":")));
    EXPECT_EQ(line.find("\"mode\""), std::string::npos) << line;
  }
  EXPECT_EQ(seqs.count(9), 0u);
  ASSERT_EQ(seqs.size(), 3u);
  EXPECT_EQ(angles[1], (std::set<std::string>{"\"angle\":10,\"line\":\"10.0\"}"}));
  EXPECT_EQ(angles[2], (std::set<std::string>{"\"angle\":11,\"line\":\"11.0\"}"}));
  EXPECT_EQ(angles[7], (std::set<std::string>{"\"angle\":12,\"line\":\"12.0\"}"}));
  for (const auto& [id, seq] : seqs) {
    ExpectEveryNumberInOrder(seq, static_cast<long long>(seq.size()));
    // Every round polls every ID: the counts differ by the round cut short at the end.
    EXPECT_LE(seqs[1].size() - std::min(seqs[1].size(), seq.size()), 1u) << id;
  }
}

// A bus sensor in the test's own process, linked as COM4, so the test sees every poll it gets.
struct BusRig {
  BusRig(const std::string& folder, sim::SensorConfig config) : sensor(std::move(config)) {
    sensor.Start();
    link = std::make_unique<sim::PortLink>(folder + "/", 4, sensor.SlavePath(), true);
  }
  size_t Polls(int id) const {
    return CountOf(sensor.ReceivedBytes(), std::string{static_cast<char>(0xB0 + id), '\x05'});
  }
  sim::SimulatedSensor sensor;
  std::unique_ptr<sim::PortLink> link;
};

// The IDs and the angle-and-line texts of the readings printed.
std::map<long long, std::set<std::string>> AnglesById(const std::vector<std::string>& printed) {
  std::map<long long, std::set<std::string>> angles;
  for (const std::string& line : printed) {
    angles[JsonNumber(line, "id")].insert(line.substr(line.find("\"angle\":")));
  }
  return angles;
}

// Sensor 2 answers after --reply-ms, and the ID polled after it is silent: its late answers
// come in that ID's window (and, all sensors being slow, before the next one's answer), yet no
// reading is filed under another ID than its sender's; the late frames are counted as
// unsolicited and reported. The interval too short for the IDs is stretched and said so; the
// rounds the guard times make longer still are reported.
TEST_F(RecordTest, BusLateAnswersAreNeverFiledUnderAnotherId) {
  sim::SensorConfig config;
  config.busIds = {1, 2, 3};
  config.fixedAngle = 10;
  config.replyDelay = 20ms;
  // Just past its window (40 ms), so that the old way of filing took it for ID 9's answer,
  // and well inside the guard time after it, whatever the scheduling.
  config.lateIds[2] = 45ms;
  BusRig bus(dir_.Path(), config);
  StartRecorder({"--ids", "1,2,9,3", "--interval", "100", "--reply-ms", "40"});
  ASSERT_TRUE(WaitUntil([&] { return bus.Polls(3) >= 10; })) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();

  const auto angles = AnglesById(Printed());
  EXPECT_EQ(angles.count(2), 0u);
  EXPECT_EQ(angles.count(9), 0u);
  ASSERT_EQ(angles.count(1), 1u) << Errors();
  ASSERT_EQ(angles.count(3), 1u) << Errors();
  EXPECT_EQ(angles.at(1), (std::set<std::string>{"\"angle\":10,\"line\":\"10.0\"}"}));
  EXPECT_EQ(angles.at(3), (std::set<std::string>{"\"angle\":12,\"line\":\"12.0\"}"}));
  const std::string errors = Errors();
  EXPECT_NE(errors.find("--interval 100 is too short for 4 IDs of --reply-ms 40: polling every "
                        "160 ms"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("a round of polls on COM4 took"), std::string::npos) << errors;
  EXPECT_EQ(CountOf(errors,
                    "ID 2 answers on COM4 after --reply-ms (40 ms): its late frames are "
                    "counted as unsolicited"),
            1u)
      << errors;
  EXPECT_NE(errors.find("frames on COM4 not recorded"), std::string::npos) << errors;
}

// A sensor on the bus talks unasked: its frames fall into the silent ID's reply windows too,
// yet nothing is ever filed under the silent ID, nor under a wrong one.
TEST_F(RecordTest, BusSensorTalkingUnaskedFilesNothingUnderASilentId) {
  sim::SensorConfig config;
  config.busIds = {1, 2};
  config.fixedAngle = 10;
  config.unasked = true;  // with the angle 12
  config.framesPerSecond = 20;
  BusRig bus(dir_.Path(), config);
  StartRecorder({"--ids", "1,5,2", "--interval", "300", "--reply-ms", "40"});
  ASSERT_TRUE(WaitUntil([&] { return bus.Polls(5) >= 10; })) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();

  const auto angles = AnglesById(Printed());
  EXPECT_EQ(angles.count(5), 0u);
  const std::map<long long, std::string> own = {{1, "10"}, {2, "11"}};
  for (const auto& [id, texts] : angles) {
    ASSERT_EQ(own.count(id), 1u) << id;
    EXPECT_EQ(texts, (std::set<std::string>{"\"angle\":" + own.at(id) + ",\"line\":\"" +
                                            own.at(id) + ".0\"}"}));
  }
  EXPECT_TRUE(ErrorsSay("frames nobody asked for on COM4")) << Errors();
}

// The broker goes away mid-run and comes back on the same port: the readings of the gap wait
// on disk and arrive after the broker returns; the subscriber sees every sequence number, in
// order.
TEST_F(RecordTest, BrokerRestartedMidRunLosesNothing) {
  StartSim({"--angle", "1.5", "--rate", "50"});
  StartBroker();
  const std::string topic = "kelta/rig/reading/1";
  // A persistent session: the broker keeps it, and what arrives for it, across its restart.
  Subscriber subscriber(broker_->Port(), "kelta/#");
  StartRecorder({"--mqtt", broker_->Address()});
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) { return Sequence(m, topic).size() >= 20; }))
      << Errors();
  broker_->Stop();
  ASSERT_TRUE(ErrorsSay("lost, retrying")) << Errors();
  const size_t atLoss = Printed().size();
  // Recording goes on meanwhile.
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= atLoss + 40; })) << Errors();
  StartBroker();
  ASSERT_TRUE(WaitUntil([&] { return CountOf(Errors(), " connected") >= 2; })) << Errors();
  const auto target = static_cast<long long>(Printed().size());
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    const auto seq = Sequence(m, topic);
    return !seq.empty() && *std::max_element(seq.begin(), seq.end()) >= target;
  })) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  const auto n = static_cast<long long>(Printed().size());
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    const auto seq = Sequence(m, topic);
    return *std::max_element(seq.begin(), seq.end()) >= n;
  }));
  ExpectEveryNumberInOrder(Sequence(subscriber.Messages(), topic), n);
}

// The simulator is killed and another sensor appears on the link: refused; the right one
// comes back: recording resumes, the numbers go on and the gap shows in the time stamps.
TEST_F(RecordTest, SimulatorKilledAndRestartedRecordingResumes) {
  StartSim({"--angle", "3.5", "--rate", "50"});
  StartRecorder({"--csv", dir_.File("rec.csv")});
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= 10; })) << Errors();
  sim_->Signal(SIGKILL);
  sim_->Wait();
  ASSERT_TRUE(ErrorsSay("COM4 lost at")) << Errors();
  StartSim({"--id", "5", "--angle", "3.5", "--rate", "50"});
  ASSERT_TRUE(ErrorsSay("another sensor (ID 5 instead of 1)")) << Errors();
  sim_->Signal(SIGKILL);
  sim_->Wait();
  const size_t before = Printed().size();
  StartSim({"--angle", "4.5", "--rate", "50"});
  ASSERT_TRUE(ErrorsSay("COM4 back at")) << Errors();
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= before + 10; })) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();

  const std::vector<std::string> printed = Printed();
  std::vector<long long> seq;
  bool sawNew = false;
  for (const std::string& line : printed) {
    seq.push_back(JsonNumber(line, "seq"));
    const bool isNew = line.find("\"angle\":4.5") != std::string::npos;
    // The old sensor's readings all come before the new one's.
    if (sawNew) {
      EXPECT_TRUE(isNew) << line;
    }
    sawNew = sawNew || isNew;
  }
  EXPECT_TRUE(sawNew);
  ExpectEveryNumberInOrder(seq, static_cast<long long>(seq.size()));
  // The gap shows in the time stamps: the device is looked for every half second, so no
  // reading can follow the loss sooner.
  long long widest = 0;
  for (size_t i = 1; i < printed.size(); ++i) {
    long long step =
        MillisOfDay(JsonText(printed[i], "time")) - MillisOfDay(JsonText(printed[i - 1], "time"));
    if (step < 0) step += 24 * 3600 * 1000;  // past midnight
    widest = std::max(widest, step);
  }
  EXPECT_GE(widest, 500);
  EXPECT_EQ(Lines(ReadFile(dir_.File("rec.csv"))).size(), printed.size() + 1);
}

// The newest message of a topic, empty when none came.
std::string Newest(const std::vector<Message>& messages, const std::string& topic) {
  for (auto m = messages.rbegin(); m != messages.rend(); ++m) {
    if (m->topic == topic) return m->payload;
  }
  return {};
}

// The sensor loses its power behind a line that stays open (kelta-sim's SIGUSR1): the silence
// is noticed, logged and counted, the sensor asked again until it answers and streams once
// more, and the retained state says so throughout; a device gone is "device lost" while the
// recorder stays "online". The heartbeat comes on its beat meanwhile.
TEST_F(RecordTest, ASilentSensorIsAskedAgainAndTheStateSaysWhoDelivers) {
  StartSim({"--angle", "2.5", "--rate", "50", "--verbose"});
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  StartRecorder({"--mqtt", broker_->Address(), "--heartbeat", "1"});
  const auto stateIs = [&](const std::string& state) {
    return subscriber.WaitFor([&](const auto& m) {
      return Newest(m, "kelta/rig/state").starts_with("{" + state + ",\"since\":");
    });
  };
  const auto simSaid = [&](const std::string& text) {
    return CountOf(ReadFile(dir_.File("sim.out")), text);
  };
  const std::string streaming = "\"device\":\"present\",\"sensors\":{\"1\":\"streaming\"}";
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= 50; })) << Errors();
  ASSERT_TRUE(stateIs(streaming)) << Errors();

  const size_t asked = simSaid("<- #INFO");
  sim_->Signal(SIGUSR1);
  ASSERT_TRUE(WaitUntil([&] { return simSaid("power off") == 1; }));
  ASSERT_TRUE(ErrorsSay("COM4: the sensor fell silent at")) << Errors();
  EXPECT_TRUE(stateIs("\"device\":\"present\",\"sensors\":{\"1\":\"silent\"}")) << Errors();
  // Asked again, and once more when that brought nothing.
  ASSERT_TRUE(WaitUntil([&] { return simSaid("<- #INFO") >= asked + 2; })) << Errors();
  const size_t silent = Printed().size();
  sim_->Signal(SIGUSR1);
  ASSERT_TRUE(ErrorsSay("COM4: the sensor streams again")) << Errors();
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= silent + 20; })) << Errors();
  EXPECT_TRUE(stateIs(streaming)) << Errors();
  EXPECT_EQ(simSaid("<- #READ"), 2u);
  EXPECT_TRUE(subscriber.WaitFor([](const auto& m) {
    return JsonNumber(Newest(m, "kelta/rig/counters"), "fell_silent") == 1;
  })) << Errors();

  sim_->Signal(SIGKILL);
  sim_->Wait();
  ASSERT_TRUE(ErrorsSay("COM4 lost at")) << Errors();
  EXPECT_TRUE(stateIs("\"device\":\"lost\",\"sensors\":{\"1\":\"device lost\"}")) << Errors();
  EXPECT_EQ(Newest(subscriber.Messages(), "kelta/rig/status"), "online");
  StartSim({"--angle", "2.5", "--rate", "50"});
  ASSERT_TRUE(ErrorsSay("COM4 back at")) << Errors();
  EXPECT_TRUE(stateIs(streaming)) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();

  // One silence in all: a device lost is no silence, nor a stream at its pace.
  EXPECT_EQ(CountOf(Errors(), "fell silent"), 1u) << Errors();
  ExpectEveryNumberInOrder(
      [&] {
        std::vector<long long> seq;
        for (const std::string& line : Printed()) seq.push_back(JsonNumber(line, "seq"));
        return seq;
      }(),
      static_cast<long long>(Printed().size()));
  // A beat a second from the start: the k-th heartbeat comes k seconds after it or later.
  std::vector<long long> uptimes;
  for (const Message& m : subscriber.Messages()) {
    if (m.topic != "kelta/rig/heartbeat") continue;
    EXPECT_FALSE(m.retained);
    EXPECT_EQ(JsonNumber(m.payload, "every"), 1) << m.payload;
    EXPECT_GE(JsonNumber(m.payload, "readings"), 0) << m.payload;
    EXPECT_GE(JsonNumber(m.payload, "queued"), 0) << m.payload;
    uptimes.push_back(JsonNumber(m.payload, "uptime"));
  }
  ASSERT_GE(uptimes.size(), 3u);
  for (size_t k = 0; k < uptimes.size(); ++k) {
    EXPECT_GE(uptimes[k], static_cast<long long>(k)) << k;
  }
}

// kelta-record's serial side in the test's own process, on a thread of its own, so that a
// COM number's fallback can lead to a device of the test's: the angles it hands on and its log.
class RecorderInProcess {
 public:
  explicit RecorderInProcess(record::RecorderConfig config)
      : thread_([this, config = std::move(config)] { Run(config); }) {}
  ~RecorderInProcess() {
    stop_ = true;
    thread_.join();
  }
  RecorderInProcess(const RecorderInProcess&) = delete;
  RecorderInProcess& operator=(const RecorderInProcess&) = delete;

  size_t Count(double angle) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count(angles_.begin(), angles_.end(), angle));
  }
  std::string Log() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }
  bool LogSays(const std::string& text) const {
    return WaitUntil([&] { return Log().find(text) != std::string::npos; }, 30s);
  }

 private:
  void Run(const record::RecorderConfig& config) {
    try {
      record::Recorder recorder(
          config,
          [this](const record::SensorReading& r) {
            const std::lock_guard<std::mutex> lock(mutex_);
            angles_.push_back(r.angle);
          },
          [this](const std::string& line) {
            const std::lock_guard<std::mutex> lock(mutex_);
            log_ += line + "\n";
          });
      recorder.Open();
      recorder.Run([this] { return stop_.load(); }, [] {});
    } catch (const std::exception& e) {
      const std::lock_guard<std::mutex> lock(mutex_);
      log_ += std::string("failed: ") + e.what() + "\n";
    }
  }

  mutable std::mutex mutex_;
  std::vector<double> angles_;
  std::string log_;
  std::atomic<bool> stop_{false};
  std::thread thread_;  // last: it starts with everything above in place
};

sim::SensorConfig Streaming(double angle) {
  sim::SensorConfig config;
  config.fixedAngle = angle;
  config.framesPerSecond = 50;
  return config;
}

// The simulator ends (its link removed, then its terminal closed) while COM4's fallback name
// leads to another device with a sensor of the same ID: the recorder never opens it, and the
// link back, to the sensor again, leads to recording again.
TEST_F(RecordTest, WithItsLinkGoneAPortNeverOpensTheFallbackDevice) {
  std::optional<BusRig> sensor(std::in_place, dir_.Path(), Streaming(3.5));
  sim::SimulatedSensor other(Streaming(66.6));
  other.Start();
  const std::string devDir = dir_.File("dev/");
  ASSERT_EQ(mkdir(devDir.c_str(), 0700), 0);
  const std::string fallback = devDir + "ttyS3";  // COM4's
  ASSERT_EQ(symlink(other.SlavePath().c_str(), fallback.c_str()), 0);
  OpenWatch opens(fallback);
  record::RecorderConfig config;
  config.port = "COM4";
  config.exeDir = dir_.Path();
  config.devDir = devDir;
  RecorderInProcess recorder(config);
  ASSERT_TRUE(WaitUntil([&] { return recorder.Count(3.5) >= 5; })) << recorder.Log();

  sensor.reset();
  ASSERT_TRUE(recorder.LogSays("COM4 lost at")) << recorder.Log();
  std::this_thread::sleep_for(2s);  // four looks
  EXPECT_EQ(opens.Opens(), 0);
  EXPECT_EQ(other.ReceivedBytes(), "");

  sensor.emplace(dir_.Path(), Streaming(4.5));
  ASSERT_TRUE(recorder.LogSays("COM4 back at")) << recorder.Log();
  ASSERT_TRUE(WaitUntil([&] { return recorder.Count(4.5) >= 5; })) << recorder.Log();
  EXPECT_EQ(sensor->sensor.ReceivedBytes().rfind("#STOP\r\n#INFO\r\n#READ\r\n", 0), 0u)
      << sensor->sensor.ReceivedBytes();
  EXPECT_EQ(recorder.Count(66.6), 0u);
  EXPECT_EQ(opens.Opens(), 0);
}

// The sensor comes back mute at first: its first "#INFO" gets a reply that lost a comma
// ("I:B1DM:0") and noise holding "V:". Neither names a sensor, so neither is another sensor:
// nothing is refused, "#INFO" is asked again, and the right sensor is taken back.
TEST_F(RecordTest, AGarbledInformationLineIsNoAnswer) {
  std::optional<BusRig> sensor(std::in_place, dir_.Path(), Streaming(3.5));
  StartRecorder({});
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= 5; })) << Errors();
  sensor.reset();
  ASSERT_TRUE(ErrorsSay("COM4 lost at")) << Errors();

  struct {
    std::atomic<sim::SimulatedSensor*> sensor{nullptr};
    std::atomic<bool> wrote{false}, sent{false};
  } garbler;
  sim::SensorConfig mute = Streaming(4.5);
  mute.silent = true;
  mute.lineObserver = [&garbler](const std::string& line) {
    sim::SimulatedSensor* s = garbler.sensor.load();
    if (line != "#INFO" || !s || garbler.wrote.exchange(true)) return;
    std::string lostComma = sim::InfoLine(s->Settings());
    lostComma.erase(lostComma.find(",DM:"), 1);
    garbler.sent = s->WriteRaw(lostComma + "\x8f\x12V:\xff\xfe,I:\x01\r");
    s->Update([](sim::SensorConfig& c) { c.silent = false; });
  };
  sensor.emplace(dir_.Path(), mute);
  garbler.sensor = &sensor->sensor;
  ASSERT_TRUE(ErrorsSay("COM4 back at")) << Errors();
  const size_t before = Printed().size();
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= before + 5; })) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  EXPECT_TRUE(garbler.sent);
  EXPECT_EQ(Errors().find("another sensor"), std::string::npos) << Errors();
  for (const std::string& line : Printed()) EXPECT_EQ(JsonNumber(line, "id"), 1) << line;
}

// A broker that is not there at the start: the CSV file records from the first reading, the
// broker is retried, and once it is there it gets every reading from number 1.
TEST_F(RecordTest, UnreachableBrokerIsRetriedWhileTheFileRecords) {
  StartSim({"--angle", "2.5", "--rate", "50"});
  broker_ = std::make_unique<LiveBroker>(dir_.Path());
  StartRecorder({"--mqtt", broker_->Address(), "--csv", dir_.File("rec.csv")});
  ASSERT_TRUE(ErrorsSay("unreachable")) << Errors();
  ASSERT_TRUE(WaitUntil([&] { return Lines(ReadFile(dir_.File("rec.csv"))).size() >= 20; }));
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  const std::string topic = "kelta/rig/reading/1";
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) { return Sequence(m, topic).size() >= 40; }))
      << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  const auto n = static_cast<long long>(Printed().size());
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    const auto seq = Sequence(m, topic);
    return *std::max_element(seq.begin(), seq.end()) >= n;
  }));
  ExpectEveryNumberInOrder(Sequence(subscriber.Messages(), topic), n);
}

// A queue bound smaller than the broker's absence: the oldest readings are dropped, counted
// and the count published; the newest ones still arrive, in order.
TEST_F(RecordTest, AFullQueueDropsTheOldestAndPublishesTheCount) {
  StartSim({"--angle", "2.5", "--rate", "50"});
  broker_ = std::make_unique<LiveBroker>(dir_.Path());
  StartRecorder({"--mqtt", broker_->Address(), "--queue-max", "10"});
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= 30; })) << Errors();
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  const std::string topic = "kelta/rig/reading/1";
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) { return Sequence(m, topic).size() >= 20; }))
      << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  const auto n = static_cast<long long>(Printed().size());
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    const auto seq = Sequence(m, topic);
    return *std::max_element(seq.begin(), seq.end()) >= n;
  }));
  const std::vector<Message> messages = subscriber.Messages();
  const std::vector<long long> seq = Sequence(messages, topic);
  // At most the bound's worth from before the broker came, then every one.
  ASSERT_GE(seq.front(), 21);
  std::vector<long long> shifted = seq;
  for (long long& s : shifted) s -= seq.front() - 1;
  ExpectEveryNumberInOrder(shifted, n - seq.front() + 1);
  long long dropped = -1;
  for (const Message& m : messages) {
    if (m.topic == "kelta/rig/counters") dropped = JsonNumber(m.payload, "dropped");
  }
  EXPECT_EQ(dropped, seq.front() - 1);
}

// Noise before every frame makes its text no number: nothing reaches the file, standard
// output or the broker as a reading (no angle 0); the counters count the frames as dropped and
// the log says so once.
TEST_F(RecordTest, FramesThatAreNoNumbersAreCountedNotRecorded) {
  StartSim({"--angle", "12.5", "--rate", "50", "--garbage", "noise"});
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  StartRecorder({"--mqtt", broker_->Address(), "--csv", dir_.File("rec.csv")});
  EXPECT_TRUE(subscriber.WaitFor([](const std::vector<Message>& m) {
    return std::any_of(m.begin(), m.end(), [](const Message& x) {
      return x.topic == "kelta/rig/counters" && JsonNumber(x.payload, "dropped_frames") >= 20;
    });
  })) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  EXPECT_EQ(Printed(), std::vector<std::string>{}) << Printed().front();
  EXPECT_EQ(Lines(ReadFile(dir_.File("rec.csv"))),
            std::vector<std::string>{"time,seconds,angle,line,port,sensor_id"});
  for (const Message& m : subscriber.Messages()) {
    EXPECT_FALSE(m.topic.starts_with("kelta/rig/reading/")) << m.payload;
    if (m.topic == "kelta/rig/counters") {
      EXPECT_EQ(JsonNumber(m.payload, "readings"), 0);
    }
  }
  const std::string errors = Errors();
  const std::string saying = "COM4: frames dropped, not recorded";
  const size_t said = errors.find(saying);
  EXPECT_NE(said, std::string::npos) << errors;
  EXPECT_EQ(errors.find(saying, said + 1), std::string::npos) << errors;
}

// A device named by its path instead of a COM number; the records name it so.
TEST_F(RecordTest, ADevicePathWorksLikeACom) {
  StartSim({"--angle", "6.5", "--rate", "50"});
  const std::string printed = ReadFile(dir_.File("sim.out"));
  const size_t at = printed.find("/dev/pts/");
  ASSERT_NE(at, std::string::npos) << printed;
  const std::string device = printed.substr(at, printed.find('\n', at) - at);
  ASSERT_EQ(mkdir(dir_.File("csv").c_str(), 0700), 0);
  recorder_ = std::make_unique<Child>(
      std::vector<std::string>{Bin("kelta-record"), device, "--stdout", "--csv", dir_.File("csv"),
                               "--csv-max-mb", "1"},
      dir_.File("rec.out"), dir_.File("rec.err"));
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= 5; })) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  EXPECT_EQ(JsonText(Printed().front(), "port"), device);
  EXPECT_NE(Printed().front().find("\"angle\":6.5,"), std::string::npos) << Printed().front();
  // The folder's file is named by the device's own name and the sensor.
  const std::vector<std::string> made = FilesIn(dir_.File("csv"));
  ASSERT_EQ(made.size(), 1u);
  const std::string name = device.substr(device.rfind('/') + 1);
  EXPECT_TRUE(made[0].starts_with("kelta-" + name + "-") && made[0].ends_with("-id1.csv"))
      << made[0];
  EXPECT_EQ(Lines(ReadFile(dir_.File("csv/" + made[0]))).size(), Printed().size() + 1);
}

// What a user or a service manager sees when the start goes wrong.
TEST_F(RecordTest, ClearErrorsAndExitCodes) {
  const std::string program = ShellQuote(Bin("kelta-record"));
  const ToolRun help = RunTool(program + " --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: kelta-record PORT"), std::string::npos);

  const ToolRun bad = RunTool(program + " COM4 --stdout --ids 1,99");
  EXPECT_EQ(bad.exitCode, 64);
  EXPECT_NE(bad.err.find("--ids: 99 is outside 0 to 77"), std::string::npos) << bad.err;
  const ToolRun badTopic = RunTool(program + " COM4 --stdout --topic '$SYS/kelta'");
  EXPECT_EQ(badTopic.exitCode, 64);
  EXPECT_NE(badTopic.err.find("--topic: the topic prefix must not start with '$'"),
            std::string::npos)
      << badTopic.err;

  // No ports/com4 link in this folder and no device: the port's own message.
  const ToolRun missing = RunTool(program + " COM4 --stdout --exe-dir " + ShellQuote(dir_.Path()));
  EXPECT_EQ(missing.exitCode, 69);
  EXPECT_NE(missing.err.find("COM4"), std::string::npos) << missing.err;
  const ToolRun noPath = RunTool(program + " /dev/kelta-no-such-device --stdout");
  EXPECT_EQ(noPath.exitCode, 69);
  EXPECT_NE(noPath.err.find("/dev/kelta-no-such-device"), std::string::npos) << noPath.err;
  // A FIFO where the queue's file belongs: refused before the port is looked at.
  ASSERT_EQ(mkdir(dir_.File("fifo-queue").c_str(), 0700), 0);
  MakeFifo(dir_.File("fifo-queue/queue.dat"));
  const ToolRun fifo =
      RunTool(program + " COM4 --exe-dir " + ShellQuote(dir_.Path()) + " --queue-dir " +
              ShellQuote(dir_.File("fifo-queue")) + " --mqtt 127.0.0.1:1");
  EXPECT_EQ(fifo.exitCode, 73);
  EXPECT_NE(fifo.err.find("queue.dat is a FIFO, not a regular file"), std::string::npos)
      << fifo.err;
  // A queue folder every user may write in: refused, nothing written in it.
  ASSERT_EQ(mkdir(dir_.File("open-queue").c_str(), 0700), 0);
  ASSERT_EQ(chmod(dir_.File("open-queue").c_str(), 0777), 0);
  const ToolRun open =
      RunTool(program + " COM4 --exe-dir " + ShellQuote(dir_.Path()) + " --queue-dir " +
              ShellQuote(dir_.File("open-queue")) + " --mqtt 127.0.0.1:1");
  EXPECT_EQ(open.exitCode, 73);
  EXPECT_NE(open.err.find("the state folder " + dir_.File("open-queue") +
                          "/ can be written by every user (mode 0777): refused"),
            std::string::npos)
      << open.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir_.File("open-queue")));

  // A CSV file that exists already is not overwritten.
  WriteFile(dir_.File("old.csv"), "keep");
  StartSim({});
  const ToolRun exists = RunTool(program + " COM4 --exe-dir " + ShellQuote(dir_.Path()) +
                                 " --csv " + ShellQuote(dir_.File("old.csv")));
  EXPECT_EQ(exists.exitCode, 73);
  EXPECT_EQ(ReadFile(dir_.File("old.csv")), "keep");
  // A file named on the command line is never split.
  const ToolRun split = RunTool(program + " COM4 --exe-dir " + ShellQuote(dir_.Path()) + " --csv " +
                                ShellQuote(dir_.File("new.csv")) + " --csv-max-mb 1");
  EXPECT_EQ(split.exitCode, 64);
  EXPECT_NE(split.err.find("--csv-max-mb: " + dir_.File("new.csv") + " is no folder"),
            std::string::npos)
      << split.err;
}

// A second recorder with the same name would share the first one's queue folder: it is refused
// before it touches the queue (73, naming the first one's process) and the first records on.
TEST_F(RecordTest, ASecondRecorderWithTheSameNameIsRefused) {
  StartSim({"--angle", "1.5", "--rate", "50"});
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  StartRecorder({"--mqtt", broker_->Address()});
  const std::string topic = "kelta/rig/reading/1";
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) { return Sequence(m, topic).size() >= 5; }))
      << Errors();
  const ToolRun second =
      RunTool(ShellQuote(Bin("kelta-record")) + " COM5 --stdout --name rig --exe-dir " +
              ShellQuote(dir_.Path()) + " --queue-dir " + ShellQuote(dir_.File("queue")) +
              " --mqtt " + broker_->Address());
  EXPECT_EQ(second.exitCode, 73) << second.err;
  EXPECT_NE(second.err.find("in use by another process (process " +
                            std::to_string(recorder_->Pid()) + ")"),
            std::string::npos)
      << second.err;
  EXPECT_EQ(Terminate(), 0) << Errors();
  const auto n = static_cast<long long>(Printed().size());
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    const auto seq = Sequence(m, topic);
    return *std::max_element(seq.begin(), seq.end()) >= n;
  })) << Errors();
  ExpectEveryNumberInOrder(Sequence(subscriber.Messages(), topic), n);
  EXPECT_EQ(CountOf(Errors(), " lost"), 0u) << Errors();
}

// Two recorders of one name on two ports, each with its own queue: the broker keeps both
// connected (a client id per recorder), neither is thrown out when the other connects.
TEST_F(RecordTest, TwoRecordersOfOneNameOnTwoPortsKeepTheirConnections) {
  StartSim({"--angle", "1.5", "--rate", "50"});
  Child sim5({Bin("kelta-sim"), "--com", "5", "--exe-dir", dir_.Path(), "--force", "--id", "2",
              "--rate", "50"},
             dir_.File("sim5.out"), dir_.File("sim5.err"));
  ASSERT_TRUE(
      WaitUntil([&] { return ReadFile(dir_.File("sim5.out")).find("COM5") != std::string::npos; }));
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  StartRecorder({"--mqtt", broker_->Address()});
  Child other({Bin("kelta-record"), "COM5", "--exe-dir", dir_.Path(), "--name", "rig",
               "--queue-dir", dir_.File("queue5"), "--mqtt", broker_->Address()},
              dir_.File("rec5.out"), dir_.File("rec5.err"));
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    return Sequence(m, "kelta/rig/reading/1").size() >= 100 &&
           Sequence(m, "kelta/rig/reading/2").size() >= 100;
  })) << Errors()
      << ReadFile(dir_.File("rec5.err"));
  other.Signal(SIGTERM);
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_EQ(Terminate(), 0) << Errors();
  EXPECT_EQ(CountOf(Errors(), " lost"), 0u) << Errors();
  EXPECT_EQ(CountOf(ReadFile(dir_.File("rec5.err")), " lost"), 0u)
      << ReadFile(dir_.File("rec5.err"));
}

// The line to the broker is cut silently (nothing passes, nothing is closed) while readings
// come: once the recorder gives the dead connection up it connects anew, and the readings that
// were in flight arrive once, not twice; the queue's bound drops the oldest meanwhile, and the
// published count covers every reading that never arrived. A reading the broker took just as
// the line froze, its acknowledgement lost, is given up unknowing and counted too: so the
// count may exceed the missing ones by what was in flight, never more. The shortest
// keep-alive makes the cut noticed sooner.
TEST_F(RecordTest, ASilentCutSendsNothingTwiceAndCountsEveryDrop) {
  StartSim({"--angle", "2.5", "--rate", "50"});
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  BrokerLink link(broker_->Port());
  StartRecorder({"--mqtt", link.Address(), "--queue-max", "100", "--keepalive", "5"});
  const std::string topic = "kelta/rig/reading/1";
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) { return Sequence(m, topic).size() >= 20; }))
      << Errors();
  link.Freeze();
  ASSERT_TRUE(ErrorsSay("lost, retrying", 90s)) << Errors();
  ASSERT_TRUE(WaitUntil([&] { return CountOf(Errors(), " connected") >= 2; }, 60s)) << Errors();
  const auto target = static_cast<long long>(Printed().size());
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    const auto seq = Sequence(m, topic);
    return !seq.empty() && *std::max_element(seq.begin(), seq.end()) >= target;
  })) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  const auto n = static_cast<long long>(Printed().size());
  // Every reading, and the final counters.
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    const auto seq = Sequence(m, topic);
    return *std::max_element(seq.begin(), seq.end()) >= n &&
           std::any_of(m.begin(), m.end(), [&](const Message& x) {
             return x.topic == "kelta/rig/counters" && JsonNumber(x.payload, "readings") == n;
           });
  })) << Errors();
  const std::vector<Message> messages = subscriber.Messages();
  const std::vector<long long> seq = Sequence(messages, topic);
  const std::set<long long> distinct(seq.begin(), seq.end());
  EXPECT_EQ(seq.size() - distinct.size(), 0u) << "readings delivered twice";
  EXPECT_TRUE(std::is_sorted(seq.begin(), seq.end()));
  EXPECT_EQ(seq.back(), n);
  long long dropped = -1;
  for (const Message& m : messages) {
    if (m.topic == "kelta/rig/counters") dropped = JsonNumber(m.payload, "dropped");
  }
  // The cut outlasted the bound.
  EXPECT_GT(dropped, 0);
  const long long missing = n - static_cast<long long>(distinct.size());
  EXPECT_GE(dropped, missing);
  EXPECT_LE(dropped - missing, kelta::record::MqttPublisher::kWindow);
}

// After a silent cut the broker's address answers no new connection at all (its first packet
// is dropped): SIGTERM still ends the recorder, with status 0, its readings left on disk. The
// limit of the wait only ends a recorder that hangs; it measures nothing.
TEST_F(RecordTest, SigtermEndsTheRecorderWhileTheBrokerAddressDropsConnections) {
  StartSim({"--angle", "2.5", "--rate", "50"});
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  BrokerLink link(broker_->Port());
  StartRecorder({"--mqtt", link.Address(), "--keepalive", "5"});
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    return Sequence(m, "kelta/rig/reading/1").size() >= 10;
  })) << Errors();
  link.Blackhole();
  ASSERT_TRUE(ErrorsSay("lost, retrying", 90s)) << Errors();
  // Time for a new connection to be tried (and left pending) after the loss.
  std::this_thread::sleep_for(3s);
  recorder_->Signal(SIGTERM);
  EXPECT_EQ(recorder_->Wait(60s), 0) << Errors();
  EXPECT_NE(Errors().find("readings wait on disk for the broker"), std::string::npos) << Errors();
}

// A port another program holds (its lock taken): named as such, with its device, status 69.
TEST_F(RecordTest, APortHeldByAnotherProgramIsNamed) {
  PtyPair line;
  ExeDir exe;
  exe.Link(6, line.SlavePath());
  const int held = open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  const ToolRun run = RunTool(ShellQuote(Bin("kelta-record")) + " COM6 --stdout --exe-dir " +
                              ShellQuote(exe.Path()));
  close(held);
  EXPECT_EQ(run.exitCode, 69);
  EXPECT_NE(run.err.find("COM6 is in use by another program (" + line.SlavePath() + ")"),
            std::string::npos)
      << run.err;
}

// The service manager's notification socket, as systemd gives it: the recorder says it is
// ready once it records, sends the watchdog's keep-alive from its main loop at half the
// interval, and says it is stopping at the end. A watchdog meant for another process (a shell
// between the manager and the recorder) is left alone.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  }
  ~NotifySocket() { close(fd_); }
  // Datagrams received until one contains `text` (true), or 20 s passed.
  bool WaitFor(const std::string& text) {
    for (auto end = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < end;) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) != 1) continue;
      char buffer[512];
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) continue;
      received_.emplace_back(buffer, static_cast<size_t>(n));
      if (received_.back().find(text) != std::string::npos) return true;
    }
    return false;
  }
  size_t Count(const std::string& text) const {
    return static_cast<size_t>(std::count_if(received_.begin(), received_.end(), [&](auto& d) {
      return d.find(text) != std::string::npos;
    }));
  }

 private:
  std::string path_;
  int fd_ = -1;
  std::vector<std::string> received_;
};

TEST_F(RecordTest, TellsTheServiceManagerItIsReadyAliveAndStopping) {
  StartSim({"--angle", "4.5", "--rate", "50"});
  NotifySocket manager(dir_.File("notify"));
  setenv("NOTIFY_SOCKET", dir_.File("notify").c_str(), 1);
  setenv("WATCHDOG_USEC", "400000", 1);
  StartRecorder({});
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");
  ASSERT_TRUE(manager.WaitFor("READY=1")) << Errors();
  EXPECT_EQ(manager.Count("STATUS=recording COM4"), 1u);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(manager.WaitFor("WATCHDOG=1")) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  EXPECT_TRUE(manager.WaitFor("STOPPING=1"));
  EXPECT_FALSE(Printed().empty());
}

TEST_F(RecordTest, LeavesAWatchdogMeantForAnotherProcessAlone) {
  StartSim({"--angle", "4.5", "--rate", "50"});
  NotifySocket manager(dir_.File("notify"));
  setenv("NOTIFY_SOCKET", dir_.File("notify").c_str(), 1);
  setenv("WATCHDOG_USEC", "200000", 1);
  setenv("WATCHDOG_PID", "1", 1);
  StartRecorder({});
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");
  unsetenv("WATCHDOG_PID");
  ASSERT_TRUE(manager.WaitFor("READY=1")) << Errors();
  // Ten watchdog intervals of readings.
  ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= 100; })) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  EXPECT_TRUE(manager.WaitFor("STOPPING=1"));
  EXPECT_EQ(manager.Count("WATCHDOG=1"), 0u);
}

// The recorder ends and starts again on its state folder (the user's own by default): every
// reading carries the same recorder id and the numbers go on without a gap. The folder is
// private and its files 0640 under the umask 022.
TEST_F(RecordTest, ARestartKeepsTheRecorderIdAndGoesOnNumbering) {
  StartSim({"--angle", "2.5", "--rate", "50"});
  StartBroker();
  for (size_t run = 1; run <= 2; ++run) {
    setenv("XDG_STATE_HOME", dir_.File("state").c_str(), 1);
    const mode_t mask = umask(022);
    recorder_ = std::make_unique<Child>(
        std::vector<std::string>{Bin("kelta-record"), "COM4", "--exe-dir", dir_.Path(), "--stdout",
                                 "--name", "rig", "--mqtt", broker_->Address()},
        dir_.File("rec.out"), dir_.File("rec.err"));
    umask(mask);
    unsetenv("XDG_STATE_HOME");
    ASSERT_TRUE(WaitUntil([&] { return Printed().size() >= 20 * run; })) << Errors();
    EXPECT_EQ(Terminate(), 0) << Errors();
  }
  const std::vector<std::string> printed = Printed();
  const std::string id = JsonText(printed.front(), "recorder");
  EXPECT_EQ(id.size(), 32u) << printed.front();
  for (size_t i = 0; i < printed.size(); ++i) {
    EXPECT_EQ(JsonText(printed[i], "recorder"), id) << printed[i];
    EXPECT_EQ(JsonNumber(printed[i], "seq"), static_cast<long long>(i + 1)) << printed[i];
  }
  const std::string folder = dir_.File("state/kelta-record/rig/");
  struct stat info {};
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  for (const char* file : {"queue.dat", "recorder-id", "sequence"}) {
    ASSERT_EQ(stat((folder + file).c_str(), &info), 0) << file;
    EXPECT_EQ(info.st_mode & 0777, 0640u) << file;
  }
}

// The broker's answers stop reaching the recorder while what it sends still arrives (a line
// broken one way): the readings of that time reach the subscriber unacknowledged and come
// again after the reconnect. A consumer that drops repeats by the reading's name, as the
// README says (per recorder and sensor, a number not above the highest so far is a repeat),
// is left with every reading once, in order.
TEST_F(RecordTest, AConsumerDropsTheRepeatsOfAReconnectByTheReadingsName) {
  StartSim({"--angle", "2.5", "--rate", "50"});
  StartBroker();
  Subscriber subscriber(broker_->Port(), "kelta/#");
  BrokerLink link(broker_->Port());
  StartRecorder({"--mqtt", link.Address(), "--keepalive", "5"});
  const std::string topic = "kelta/rig/reading/1";
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) { return Sequence(m, topic).size() >= 20; }))
      << Errors();
  link.MuteAnswers();
  ASSERT_TRUE(ErrorsSay("lost, retrying", 90s)) << Errors();
  ASSERT_TRUE(WaitUntil([&] { return CountOf(Errors(), " connected") >= 2; }, 60s)) << Errors();
  EXPECT_EQ(Terminate(), 0) << Errors();
  const std::vector<std::string> printed = Printed();
  const long long last = JsonNumber(printed.back(), "seq");
  ASSERT_TRUE(subscriber.WaitFor([&](const auto& m) {
    const auto seq = Sequence(m, topic);
    return !seq.empty() && *std::max_element(seq.begin(), seq.end()) >= last;
  })) << Errors();

  std::map<std::pair<std::string, std::string>, long long> highest;  // (recorder, topic)
  std::vector<std::string> kept;
  size_t repeats = 0;
  for (const Message& m : subscriber.Messages()) {
    if (!m.topic.starts_with("kelta/rig/reading/")) continue;
    long long& seen = highest[{JsonText(m.payload, "recorder"), m.topic}];
    const long long seq = JsonNumber(m.payload, "seq");
    if (seq <= seen) {
      ++repeats;
      continue;
    }
    seen = seq;
    kept.push_back(m.payload);
  }
  EXPECT_GT(repeats, 0u) << "the muted line made no repeats";
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(JsonText(kept.front(), "recorder").size(), 32u) << kept.front();
  EXPECT_EQ(kept, printed);
}

}  // namespace
}  // namespace kelta::test
