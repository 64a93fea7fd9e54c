#include "apps/recorder/sparkplug/EdgeNode.h"

#include <charconv>
#include <stdexcept>
#include <utility>

#include "apps/recorder/sparkplug/SparkplugPayload.h"

namespace kelta::sparkplug {

namespace {

bool ValidLevel(std::string_view name) {
  return !name.empty() && name.find_first_of("/+#") == std::string_view::npos;
}

// A frame's bytes as a metric's text, which a host reads as UTF-8: printable ASCII as it is,
// a backslash doubled, every other byte as "\xNN", so noise on the line shows as what it was.
std::string LineText(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      text += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7F) {
      text += c;
    } else {
      text += "\\x";
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0x0Fu];
    }
  }
  return text;
}

// "#INFO" items are numbers as text; one that is not stays text rather than a made-up number.
Metric NumberOrText(std::string name, const std::string& text) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc() && end == text.data() + text.size() && !text.empty()) {
    return Metric::Signed(std::move(name), DataType::Int32, value);
  }
  return Metric::Text(std::move(name), LineText(text));
}

Message Build(std::string topic, const Payload& payload) {
  return Message{std::move(topic), Encode(payload)};
}

void AddNodeMetrics(Payload& payload, const NodeMetrics& m) {
  payload.metrics.push_back(Metric::Text("Node Info/Version", m.version));
  payload.metrics.push_back(
      Metric::Unsigned("Node Info/Uptime", DataType::UInt64, m.uptimeSeconds));
  payload.metrics.push_back(
      Metric::Unsigned("Node Info/Queue Depth", DataType::UInt64, m.queueDepth));
  payload.metrics.push_back(Metric::Unsigned("Node Info/Readings", DataType::UInt64, m.readings));
  payload.metrics.push_back(Metric::Unsigned("Node Info/Dropped", DataType::UInt64, m.dropped));
}

Metric Angle(std::optional<double> value, std::optional<uint64_t> timestamp) {
  Metric angle = Metric::Real("Angle", 0);
  if (value) {
    angle.value = *value;
  } else {
    angle.value = std::monostate{};
  }
  angle.timestamp = timestamp;
  angle.properties.emplace_back("unit", "deg");
  return angle;
}

}  // namespace

EdgeNode::EdgeNode(std::string group, std::string node)
    : group_(std::move(group)), node_(std::move(node)) {
  if (!ValidLevel(group_))
    throw std::invalid_argument("Sparkplug group \"" + group_ + "\" " + "cannot be a topic level");
  if (!ValidLevel(node_))
    throw std::invalid_argument("Sparkplug node \"" + node_ + "\" " + "cannot be a topic level");
}

std::string EdgeNode::Topic(std::string_view type, std::string_view device) const {
  std::string topic = std::string(kNamespace) + "/" + group_ + "/";
  topic.append(type);
  topic += "/" + node_;
  if (!device.empty()) {
    topic += '/';
    topic.append(device);
  }
  return topic;
}

Payload EdgeNode::Sequenced(uint64_t nowMs) {
  Payload payload;
  payload.timestamp = nowMs;
  payload.seq = NextSeq();
  return payload;
}

uint64_t EdgeNode::NextSeq() {
  const uint64_t seq = seq_;
  seq_ = (seq_ + 1) % 256;
  return seq;
}

Message EdgeNode::NodeDeath(uint64_t bdSeq, uint64_t nowMs) const {
  Payload payload;
  payload.timestamp = nowMs;
  payload.metrics.push_back(Metric::Unsigned("bdSeq", DataType::Int64, bdSeq));
  return Build(Topic("NDEATH"), payload);
}

Message EdgeNode::NodeBirth(uint64_t bdSeq, const NodeMetrics& metrics, uint64_t nowMs) {
  seq_ = 0;
  Payload payload = Sequenced(nowMs);
  payload.metrics.push_back(Metric::Unsigned("bdSeq", DataType::Int64, bdSeq));
  payload.metrics.push_back(Metric::Flag(kRebirthMetric, false));
  AddNodeMetrics(payload, metrics);
  return Build(Topic("NBIRTH"), payload);
}

Message EdgeNode::NodeData(const NodeMetrics& metrics, uint64_t nowMs) {
  Payload payload = Sequenced(nowMs);
  AddNodeMetrics(payload, metrics);
  return Build(Topic("NDATA"), payload);
}

Message EdgeNode::DeviceBirth(const SensorBirth& sensor, uint64_t nowMs) {
  Payload payload = Sequenced(nowMs);
  payload.metrics.push_back(Angle(sensor.angle, nowMs));
  payload.metrics.push_back(Metric::Text("Line", LineText(sensor.line)));
  payload.metrics.push_back(Metric::Signed("Sensor/ID", DataType::Int32, sensor.id));
  if (sensor.version)
    payload.metrics.push_back(Metric::Text("Sensor/Version", LineText(*sensor.version)));
  if (sensor.mode) payload.metrics.push_back(NumberOrText("Sensor/Mode", *sensor.mode));
  if (sensor.negativeRange) {
    payload.metrics.push_back(NumberOrText("Sensor/Negative Range", *sensor.negativeRange));
  }
  if (sensor.positiveRange) {
    payload.metrics.push_back(NumberOrText("Sensor/Positive Range", *sensor.positiveRange));
  }
  return Build(Topic("DBIRTH", sensor.device), payload);
}

Message EdgeNode::DeviceData(const std::string& device, double angle, const std::string& line,
                             uint64_t readingMs, bool historical, uint64_t nowMs) {
  Payload payload = Sequenced(nowMs);
  Metric a = Angle(angle, readingMs);
  a.historical = historical;
  Metric text = Metric::Text("Line", LineText(line));
  text.timestamp = readingMs;
  text.historical = historical;
  payload.metrics.push_back(std::move(a));
  payload.metrics.push_back(std::move(text));
  return Build(Topic("DDATA", device), payload);
}

Message EdgeNode::DeviceDeath(const std::string& device, uint64_t nowMs) {
  Payload payload = Sequenced(nowMs);
  return Build(Topic("DDEATH", device), payload);
}

bool EdgeNode::AsksRebirth(std::string_view bytes) {
  const std::optional<Payload> payload = Decode(bytes);
  if (!payload) return false;
  for (const Metric& m : payload->metrics) {
    if (m.name != kRebirthMetric) continue;
    if (const auto* flag = std::get_if<bool>(&m.value); flag && *flag) return true;
  }
  return false;
}

std::string EdgeNode::DeviceName(const std::string& port, int id) {
  const size_t slash = port.find_last_of("/\\");
  std::string name = slash == std::string::npos ? port : port.substr(slash + 1);
  for (char& c : name) {
    if (c == '/' || c == '+' || c == '#') c = '_';
  }
  return name + "-" + std::to_string(id);
}

}  // namespace kelta::sparkplug
