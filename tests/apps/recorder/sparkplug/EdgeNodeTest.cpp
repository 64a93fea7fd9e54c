// The edge node's payloads as a host written elsewhere reads them: every message built here is
// decoded by the npm package sparkplug-payload (Node.js) and compared as text.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/recorder/sparkplug/EdgeNode.h"
#include "apps/recorder/sparkplug/SparkplugFlow.h"
#include "apps/recorder/sparkplug/SparkplugPayload.h"
#include "tests/support/Files.h"
#include "tests/support/RunTool.h"
#include "tests/support/TempDir.h"

namespace kelta::test {
namespace {

using sparkplug::EdgeNode;
using sparkplug::Message;

// Without the host written elsewhere nothing here proves anything: every test fails at once.
class NodeConsumers : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(std::string(KELTA_NODE_MODULES) + "/sparkplug-payload"))
        << "the Node.js test consumers are not in " << KELTA_NODE_MODULES
        << ": run bash tools/setup-node-deps.sh";
  }
};
const auto* const kNodeConsumers = ::testing::AddGlobalTestEnvironment(new NodeConsumers);

std::string Hex(const std::string& bytes) {
  std::string hex;
  char two[3];
  for (const char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
    hex += two;
  }
  return hex;
}

std::string Bytes(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

std::string Script() {
  return std::string(KELTA_SOURCE_DIR) + "/tests/apps/recorder/sparkplug/sparkplug-text.js";
}

std::string Node(const std::string& arguments) {
  return "NODE_PATH=" + ShellQuote(KELTA_NODE_MODULES) + " node " + ShellQuote(Script()) + " " +
         arguments;
}

// Each payload as the npm decoder reads it, one line each.
std::vector<std::string> Decoded(const std::vector<Message>& messages) {
  TempDir dir;
  std::string input;
  for (const Message& m : messages) input += Hex(m.payload) + "\n";
  WriteFile(dir.File("in.hex"), input);
  const ToolRun run = RunTool(Node("<" + ShellQuote(dir.File("in.hex"))));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(run.out.substr(at, end - at));
  }
  return lines;
}

sparkplug::NodeMetrics Metrics() { return {"4.0", 42, 3, 1000, 2}; }

TEST(EdgeNode, BirthAndDeathOfTheNodeCarryTheSameBdSeq) {
  EdgeNode node("plant", "line3");
  const Message birth = node.NodeBirth(7, Metrics(), 1700000000000);
  const Message death = node.NodeDeath(7, 1700000000001);
  EXPECT_EQ(birth.topic, "spBv1.0/plant/NBIRTH/line3");
  EXPECT_EQ(death.topic, "spBv1.0/plant/NDEATH/line3");
  EXPECT_EQ(Decoded({birth, death}),
            (std::vector<std::string>{
                "seq=0 ts=1700000000000 | bdSeq:Int64=7 | Node Control/Rebirth:Boolean=false | "
                "Node Info/Version:String=\"4.0\" | Node Info/Uptime:UInt64=42 | "
                "Node Info/Queue Depth:UInt64=3 | Node Info/Readings:UInt64=1000 | "
                "Node Info/Dropped:UInt64=2",
                "seq=- ts=1700000000001 | bdSeq:Int64=7"}));
}

TEST(EdgeNode, ASensorIsBornReportsAndDiesInSequence) {
  EdgeNode node("plant", "line3");
  sparkplug::SensorBirth sensor;
  sensor.device = EdgeNode::DeviceName("/dev/ttyUSB0", 3);
  sensor.id = 3;
  sensor.version = "V2.1";
  sensor.mode = "2";
  sensor.negativeRange = "1800";
  sensor.positiveRange = "x9";
  sensor.line = "-12.5";
  std::vector<Message> sent = {
      node.NodeBirth(1, Metrics(), 1000), node.DeviceBirth(sensor, 1001),
      node.DeviceData(sensor.device, -12.5, "-12.5", 990, true, 1002),
      node.DeviceData(sensor.device, 0.25, "0.25\x01\\", 1003, false, 1003),
      node.DeviceDeath(sensor.device, 1004)};
  EXPECT_EQ(sent[1].topic, "spBv1.0/plant/DBIRTH/line3/ttyUSB0-3");
  EXPECT_EQ(sent[2].topic, "spBv1.0/plant/DDATA/line3/ttyUSB0-3");
  EXPECT_EQ(sent[4].topic, "spBv1.0/plant/DDEATH/line3/ttyUSB0-3");
  const std::vector<std::string> decoded = Decoded(sent);
  ASSERT_EQ(decoded.size(), 5u);
  // An "#INFO" item that is no number stays text.
  EXPECT_EQ(decoded[1],
            "seq=1 ts=1001 | Angle:Double=null@1001 unit=deg | Line:String=\"-12.5\" | "
            "Sensor/ID:Int32=3 | Sensor/Version:String=\"V2.1\" | Sensor/Mode:Int32=2 | "
            "Sensor/Negative Range:Int32=1800 | Sensor/Positive Range:String=\"x9\"");
  EXPECT_EQ(
      decoded[2],
      "seq=2 ts=1002 | Angle:Double=-12.5@990 hist unit=deg | Line:String=\"-12.5\"@990 hist");
  EXPECT_EQ(decoded[3],
            "seq=3 ts=1003 | Angle:Double=0.25@1003 unit=deg | "
            "Line:String=\"0.25\\\\x01\\\\\\\\\"@1003");
  EXPECT_EQ(decoded[4], "seq=4 ts=1004");
}

// seq counts every message after the node's birth, 255 wraps to 0, a new birth starts at 0.
TEST(EdgeNode, TheSequenceWrapsAt256AndABirthResetsIt) {
  EdgeNode node("g", "n");
  std::vector<Message> sent = {node.NodeBirth(0, Metrics(), 1)};
  for (int i = 0; i < 300; ++i) sent.push_back(node.DeviceData("COM7-3", i, "x", 2, false, 2));
  sent.push_back(node.NodeBirth(1, Metrics(), 3));
  sent.push_back(node.DeviceDeath("COM7-3", 4));
  const std::vector<std::string> decoded = Decoded(sent);
  ASSERT_EQ(decoded.size(), sent.size());
  for (size_t i = 0; i < 301; ++i) {
    EXPECT_EQ(decoded[i].substr(0, decoded[i].find(' ')), "seq=" + std::to_string(i % 256)) << i;
  }
  EXPECT_EQ(decoded[301].substr(0, 6), "seq=0 ");
  EXPECT_EQ(decoded[302].substr(0, 6), "seq=1 ");
}

TEST(EdgeNode, ARebirthIsAskedOnlyByTheRebirthMetricTrue) {
  const ToolRun yes = RunTool(Node("--rebirth true"));
  const ToolRun no = RunTool(Node("--rebirth false"));
  ASSERT_EQ(yes.exitCode, 0) << yes.err;
  EXPECT_TRUE(EdgeNode::AsksRebirth(Bytes(yes.out.substr(0, yes.out.find('\n')))));
  EXPECT_FALSE(EdgeNode::AsksRebirth(Bytes(no.out.substr(0, no.out.find('\n')))));
  EXPECT_FALSE(EdgeNode::AsksRebirth("\xff\xff\xff"));
  EXPECT_FALSE(EdgeNode::AsksRebirth(""));
}

TEST(EdgeNode, NamesThatCannotBeTopicLevelsAreRefusedOrReplaced) {
  EXPECT_THROW(EdgeNode("a/b", "n"), std::invalid_argument);
  EXPECT_THROW(EdgeNode("g", "n+"), std::invalid_argument);
  EXPECT_THROW(EdgeNode("g", ""), std::invalid_argument);
  EXPECT_EQ(EdgeNode::DeviceName("COM7", 3), "COM7-3");
  EXPECT_EQ(EdgeNode::DeviceName("/tmp/x/ports/p#1", 0), "p_1-0");
  // A line longer than the payload's text field is refused whole, never cut.
  EdgeNode node("g", "n");
  EXPECT_THROW(node.DeviceData("d", 1, std::string(2000, 'x'), 1, false, 1),
               sparkplug::UnencodablePayload);
  sparkplug::Payload payload;
  payload.metrics.push_back(sparkplug::Metric::Text("t", std::string("a\0b", 3)));
  EXPECT_THROW(sparkplug::Encode(payload), sparkplug::UnencodablePayload);
}

TEST(SparkplugFlow, AQueuedReadingReadsBackBitForBitWhateverItsTextsHold) {
  sparkplug::QueuedReading r;
  r.ms = 1700000000123;
  r.port = "/dev/serial/by-id/usb-1:2\t3";
  r.id = -4;
  r.angle = -0.0;
  r.line = std::string("12.5\t\0:7", 8);
  r.mode = "2";
  r.positiveRange = "";
  const std::optional<sparkplug::QueuedReading> back =
      sparkplug::UnpackReading(sparkplug::PackReading(r));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->ms, r.ms);
  EXPECT_EQ(back->port, r.port);
  EXPECT_EQ(back->id, -4);
  EXPECT_TRUE(std::signbit(back->angle));
  EXPECT_EQ(back->line, r.line);
  EXPECT_EQ(back->mode, r.mode);
  EXPECT_EQ(back->version, std::nullopt);
  EXPECT_EQ(back->negativeRange, std::nullopt);
  EXPECT_EQ(back->positiveRange, std::optional<std::string>(""));
  r.angle = std::nan("");
  EXPECT_TRUE(std::isnan(sparkplug::UnpackReading(sparkplug::PackReading(r))->angle));
  // A record of the JSON publisher, one cut short or one longer: no reading.
  const std::string packed = sparkplug::PackReading(r);
  EXPECT_FALSE(sparkplug::UnpackReading("{\"seq\":1}"));
  EXPECT_FALSE(sparkplug::UnpackReading(packed.substr(0, packed.size() - 1)));
  EXPECT_FALSE(sparkplug::UnpackReading(packed + "x"));
}

// Readings from before the connection wait for the node's birth and then go out historical,
// after the sensor's birth; a sensor gone dies and is born again with its next reading; a
// new connection (or a rebirth) announces only the sensors alive.
TEST(SparkplugFlow, SensorsAreBornReportAndDieAsTheNodeDoes) {
  sparkplug::SparkplugFlow flow(EdgeNode("plant", "line3"));
  const auto reading = [](uint64_t ms, int id, double angle) {
    sparkplug::QueuedReading r;
    r.ms = ms;
    r.port = "COM7";
    r.id = id;
    r.angle = angle;
    r.line = std::to_string(angle);
    return r;
  };
  std::vector<Message> sent;
  const auto add = [&](std::vector<Message> m) { sent.insert(sent.end(), m.begin(), m.end()); };
  EXPECT_TRUE(flow.Reading(reading(100, 3, 1.5), 100).empty());  // no node yet
  add(flow.Births(5, Metrics(), 200));
  add(flow.Reading(reading(150, 3, 2.5), 210));  // waited on disk
  add(flow.Reading(reading(220, 4, 3.5), 220));
  add(flow.SensorGone("COM7", 4, 230));
  add(flow.SensorGone("COM7", 4, 231));  // dead already: nothing
  add(flow.Reading(reading(240, 4, 4.5), 240));
  add(flow.SensorGone("COM7", 3, 250));
  flow.Disconnected();
  add(flow.Births(6, Metrics(), 300));
  std::vector<std::string> topics;
  for (const Message& m : sent) topics.push_back(m.topic.substr(m.topic.find('/', 8) + 1));
  EXPECT_EQ(topics, (std::vector<std::string>{
                        "NBIRTH/line3", "DBIRTH/line3/COM7-3", "DDATA/line3/COM7-3",
                        "DBIRTH/line3/COM7-4", "DDATA/line3/COM7-4", "DDEATH/line3/COM7-4",
                        "DBIRTH/line3/COM7-4", "DDATA/line3/COM7-4", "DDEATH/line3/COM7-3",
                        "NBIRTH/line3", "DBIRTH/line3/COM7-4"}));
  const std::vector<std::string> decoded = Decoded(sent);
  ASSERT_EQ(decoded.size(), sent.size());
  EXPECT_EQ(decoded[2],
            "seq=2 ts=210 | Angle:Double=2.5@150 hist unit=deg | "
            "Line:String=\"2.500000\"@150 hist");
  EXPECT_EQ(decoded[4],
            "seq=4 ts=220 | Angle:Double=3.5@220 unit=deg | "
            "Line:String=\"3.500000\"@220");
  // The new birth of sensor 4 carries its latest reading.
  EXPECT_EQ(decoded[10].substr(0, decoded[10].find(" | Sensor")),
            "seq=1 ts=300 | Angle:Double=4.5@300 unit=deg | Line:String=\"4.500000\"");
}

}  // namespace
}  // namespace kelta::test
