// kelta-record --sparkplug against a real mosquitto, watched by a Sparkplug host written
// elsewhere (Node.js with the npm packages mqtt and sparkplug-payload, printing each message
// it decodes): the node and its sensor are born, report every reading in sequence, die when
// the recorder is killed or the device is pulled, are born again, answer a rebirth command,
// and readings held back by a cut line arrive after the next birth, flagged historical.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/ExecutableDir.h"
#include "tests/apps/recorder/LiveBroker.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta::test {
namespace {

using namespace std::chrono_literals;

// One line the host printed: "TOPIC | seq=N ts=T | metric | metric ...".
struct HostLine {
  std::string topic;
  std::string text;
  std::string Type() const {  // "NBIRTH", "DDATA", ...
    const size_t a = topic.find('/', topic.find('/') + 1) + 1;
    return topic.substr(a, topic.find('/', a) - a);
  }
  long long Number(const std::string& key) const {  // "seq=", "bdSeq:Int64=", "Angle:Double="
    const size_t at = text.find(key);
    if (at == std::string::npos) return -1;
    const char* from = text.c_str() + at + key.size();
    char* end = nullptr;
    const long long value = std::strtoll(from, &end, 10);
    return end == from ? -1 : value;
  }
  bool Has(const std::string& part) const { return text.find(part) != std::string::npos; }
};

class SparkplugTest : public ::testing::Test {
 protected:
  static std::string Bin(const std::string& name) { return ExecutableDir() + name; }

  void SetUp() override {
    broker_ = std::make_unique<LiveBroker>(dir_.Path());
    broker_->Start();
    host_ = std::make_unique<Child>(
        std::vector<std::string>{"/usr/bin/env", "NODE_PATH=" + std::string(KELTA_NODE_MODULES),
                                 "node", Script(), "--subscribe", std::to_string(broker_->Port())},
        dir_.File("host.out"), dir_.File("host.err"));
    ASSERT_TRUE(
        WaitUntil([&] { return ReadFile(dir_.File("host.out")).find("connected") == 0; }, 20s))
        << ReadFile(dir_.File("host.err"));
  }
  static std::string Script() {
    return std::string(KELTA_SOURCE_DIR) + "/tests/apps/recorder/sparkplug/sparkplug-text.js";
  }
  void StartSim(const std::string& from) {
    sim_.reset();
    WriteFile(dir_.File("sim.out"), "");
    sim_ = std::make_unique<Child>(
        std::vector<std::string>{Bin("kelta-sim"), "--com", "4", "--exe-dir", dir_.Path(),
                                 "--force", "--count", from, "--rate", "20"},
        dir_.File("sim.out"), dir_.File("sim.err"));
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFile(dir_.File("sim.out")).find("COM4") != std::string::npos; }));
  }
  void StartRecorder(const std::string& broker) {
    recorder_ = std::make_unique<Child>(
        std::vector<std::string>{Bin("kelta-record"), "COM4", "--exe-dir", dir_.Path(), "--name",
                                 "rig", "--queue-dir", dir_.File("state"), "--stdout", "--mqtt",
                                 broker, "--sparkplug", "plant", "--keepalive", "5"},
        dir_.File("rec.out"), dir_.File("rec.err"));
  }
  std::string Errors() const {
    return ReadFile(dir_.File("rec.err")) + ReadFile(dir_.File("host.err"));
  }
  std::vector<HostLine> Host() const {
    std::vector<HostLine> lines;
    for (const std::string& line : Lines(ReadFile(dir_.File("host.out")))) {
      const size_t bar = line.find(" | ");
      if (bar != std::string::npos) lines.push_back({line.substr(0, bar), line.substr(bar + 3)});
    }
    return lines;
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
      lines.push_back(text.substr(at, end - at));
    }
    return lines;
  }
  size_t Count(const std::string& type, size_t from = 0) const {
    const std::vector<HostLine> lines = Host();
    size_t n = 0;
    for (size_t i = from; i < lines.size(); ++i) n += lines[i].Type() == type ? 1 : 0;
    return n;
  }
  bool WaitForHost(const std::string& type, size_t count, size_t from = 0) const {
    return WaitUntil([&] { return Count(type, from) >= count; }, 30s);
  }
  // Every message after a node birth carries the next sequence number, 255 wrapping to 0.
  static void ExpectSequenceRuns(const std::vector<HostLine>& lines) {
    long long expected = -1;
    for (const HostLine& line : lines) {
      if (line.Type() == "NBIRTH") expected = 0;
      // The death has none; a host's command is not the node's.
      if (line.Type() == "NDEATH" || line.Type() == "NCMD" || expected < 0) continue;
      EXPECT_EQ(line.Number("seq="), expected) << line.topic << " | " << line.text;
      expected = (expected + 1) % 256;
    }
  }

  TempDir dir_;
  std::unique_ptr<LiveBroker> broker_;
  std::unique_ptr<Child> host_;
  std::unique_ptr<Child> sim_;
  std::unique_ptr<Child> recorder_;
};

TEST_F(SparkplugTest, TheNodeIsBornReportsAnswersARebirthAndDiesWithItsBdSeq) {
  StartSim("0");
  StartRecorder(broker_->Address());
  ASSERT_TRUE(WaitForHost("DDATA", 20)) << Errors();
  std::vector<HostLine> lines = Host();
  ASSERT_EQ(lines[0].topic, "spBv1.0/plant/NBIRTH/rig");
  EXPECT_EQ(lines[0].Number("bdSeq:Int64="), 0);
  EXPECT_TRUE(lines[0].Has("Node Control/Rebirth:Boolean=false")) << lines[0].text;
  EXPECT_TRUE(lines[0].Has("Node Info/Readings:UInt64=")) << lines[0].text;
  EXPECT_FALSE(lines[0].Has("Node Info/Version:String=\"\"")) << lines[0].text;
  ASSERT_EQ(lines[1].topic, "spBv1.0/plant/DBIRTH/rig/COM4-1");
  for (const char* part : {"Sensor/ID:Int32=1", "Sensor/Version:String=", "Sensor/Mode:Int32=",
                           "Sensor/Positive Range:Int32=", "unit=deg"}) {
    EXPECT_TRUE(lines[1].Has(part)) << part << " in " << lines[1].text;
  }
  // Every reading, in order, with its own time.
  long long angle = -1;
  for (const HostLine& line : lines) {
    if (line.Type() != "DDATA") continue;
    const long long next = line.Number("Angle:Double=");
    if (angle >= 0) {
      EXPECT_EQ(next, angle + 1) << line.text;
    }
    angle = next;
    EXPECT_LE(line.Number("Angle:Double=" + std::to_string(next) + "@"), line.Number("ts="));
  }

  const size_t before = Host().size();
  Child rebirth(
      {"/usr/bin/env", "NODE_PATH=" + std::string(KELTA_NODE_MODULES), "node", Script(),
       "--rebirth", "true", "--to", std::to_string(broker_->Port()), "spBv1.0/plant/NCMD/rig"},
      dir_.File("cmd.out"), dir_.File("cmd.err"));
  EXPECT_EQ(rebirth.Wait(), 0) << ReadFile(dir_.File("cmd.err"));
  ASSERT_TRUE(WaitForHost("DBIRTH", 1, before)) << Errors();

  // Killed: the broker tells the host with the will, the birth's bdSeq in it.
  recorder_->Signal(SIGKILL);
  recorder_->Wait();
  ASSERT_TRUE(WaitForHost("NDEATH", 1)) << Errors();
  StartRecorder(broker_->Address());
  ASSERT_TRUE(WaitForHost("NBIRTH", 3)) << Errors();
  ASSERT_TRUE(WaitForHost("DDATA", 5, Host().size() - 1)) << Errors();
  recorder_->Signal(SIGTERM);
  EXPECT_EQ(recorder_->Wait(), 0) << Errors();
  ASSERT_TRUE(WaitForHost("NDEATH", 2)) << Errors();

  lines = Host();
  std::vector<long long> births, deaths;
  for (const HostLine& line : lines) {
    if (line.Type() == "NBIRTH") births.push_back(line.Number("bdSeq:Int64="));
    if (line.Type() == "NDEATH") deaths.push_back(line.Number("bdSeq:Int64="));
  }
  // The rebirth keeps its connection's bdSeq; the next connection's is one more; the farewell
  // at SIGTERM says the same number as its birth.
  EXPECT_EQ(births, (std::vector<long long>{0, 0, 1}));
  EXPECT_EQ(deaths, (std::vector<long long>{0, 1}));
  ExpectSequenceRuns(lines);
}

TEST_F(SparkplugTest, ASensorDiesWithItsDeviceAndReadingsHeldByACutLineComeHistorical) {
  BrokerLink link(broker_->Port());
  StartSim("0");
  StartRecorder(link.Address());
  ASSERT_TRUE(WaitForHost("DDATA", 10)) << Errors();
  sim_.reset();  // the device pulled
  ASSERT_TRUE(WaitForHost("DDEATH", 1)) << Errors();
  StartSim("1000");
  ASSERT_TRUE(WaitForHost("DBIRTH", 2)) << Errors();
  ASSERT_TRUE(WaitUntil([&] { return Host().back().Number("Angle:Double=") >= 1010; }, 30s))
      << Errors();

  // Nothing passes; the recorder gives the line up, connects anew, is born again and sends
  // what it held back.
  const size_t cut = Host().size();
  link.Freeze();
  ASSERT_TRUE(WaitForHost("NBIRTH", 1, cut)) << Errors();
  ASSERT_TRUE(WaitForHost("DDATA", 20, cut)) << Errors();
  recorder_->Signal(SIGTERM);
  EXPECT_EQ(recorder_->Wait(), 0) << Errors();

  const std::vector<HostLine> lines = Host();
  std::set<long long> received;
  size_t historical = 0;
  long long bornAt = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const HostLine& line = lines[i];
    if (i >= cut && line.Type() == "NBIRTH" && bornAt == 0) bornAt = line.Number("ts=");
    if (line.Type() != "DDATA") continue;
    const long long angle = line.Number("Angle:Double=");
    received.insert(angle);
    const long long readAt = line.Number("Angle:Double=" + std::to_string(angle) + "@");
    // Flagged historical exactly when read before the birth it follows.
    if (i > cut && bornAt > 0) {
      EXPECT_EQ(line.Has(" hist"), readAt < bornAt) << line.text;
      historical += line.Has(" hist") ? 1 : 0;
    }
  }
  EXPECT_GT(historical, 0u);
  // Every reading the recorder took from the second device reached the host.
  for (const std::string& printed : Lines(ReadFile(dir_.File("rec.out")))) {
    const size_t at = printed.find("\"angle\":");
    ASSERT_NE(at, std::string::npos);
    const long long angle = std::stoll(printed.substr(at + 8));
    if (angle >= 1000) {
      EXPECT_TRUE(received.count(angle)) << angle;
    }
  }
  ExpectSequenceRuns(lines);
}

}  // namespace
}  // namespace kelta::test
