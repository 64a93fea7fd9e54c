#include "apps/recorder/sparkplug/SparkplugShape.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <utility>

#include "apps/recorder/StateFile.h"

namespace kelta::sparkplug {

namespace {

constexpr char kBdSeqFile[] = "sparkplug-bdseq";
constexpr char kBdSeqTemp[] = "sparkplug-bdseq.new";

// The payloads the convention sends at QoS 0; the will (and the farewell) at QoS 1.
record::OutgoingMessage AtQos0(Message m) {
  return record::OutgoingMessage{std::move(m.topic), std::move(m.payload), 0, false};
}

std::vector<record::OutgoingMessage> AtQos0(std::vector<Message> messages) {
  std::vector<record::OutgoingMessage> out;
  for (Message& m : messages) out.push_back(AtQos0(std::move(m)));
  return out;
}

}  // namespace

SparkplugShape::SparkplugShape(EdgeNode node, const std::string& stateFolder,
                               std::function<uint64_t()> now,
                               std::function<void(const std::string&)> report)
    : flow_(std::move(node)),
      folder_(stateFolder),
      now_(std::move(now)),
      report_(std::move(report)) {
  // The last will's number, so that the next connection's is one more even after a crash.
  if (const std::optional<std::string> text = record::ReadStateFile(folder_, kBdSeqFile, 16)) {
    uint64_t last = 0;
    const char* end = text->data() + text->size();
    if (!text->empty() && text->back() == '\n') --end;
    const auto [stop, error] = std::from_chars(text->data(), end, last);
    if (error == std::errc() && stop == end && last < 256) {
      bdSeq_ = last;
      anyWill_ = true;
    } else if (report_) {
      report_("Sparkplug bdSeq in " + folder_.Path() + kBdSeqFile + " unreadable; starting at 0");
    }
  }
}

void SparkplugShape::SetNodeMetrics(const NodeMetrics& metrics) {
  std::lock_guard lock(metricsLock_);
  metrics_ = metrics;
}

NodeMetrics SparkplugShape::Metrics() const {
  std::lock_guard lock(metricsLock_);
  return metrics_;
}

record::OutgoingMessage SparkplugShape::Will() {
  bdSeq_ = anyWill_ ? (bdSeq_ + 1) % 256 : 0;
  anyWill_ = true;
  if (const int err =
          record::ReplaceStateFile(folder_, kBdSeqFile, kBdSeqTemp, std::to_string(bdSeq_) + "\n");
      err != 0 && report_) {
    report_("cannot keep the Sparkplug bdSeq in " + folder_.Path() + kBdSeqFile + " (" +
            std::strerror(err) + "): after a restart a host may take a death for the wrong birth");
  }
  return Death();
}

record::OutgoingMessage SparkplugShape::Death() const {
  Message death = flow_.Will(bdSeq_, now_());
  return record::OutgoingMessage{std::move(death.topic), std::move(death.payload), 1, false};
}

std::vector<std::string> SparkplugShape::Subscriptions() const {
  return {flow_.Node().Topic("NCMD")};
}

std::vector<record::OutgoingMessage> SparkplugShape::Greeting() {
  return AtQos0(flow_.Births(bdSeq_, Metrics(), now_()));
}

std::vector<record::OutgoingMessage> SparkplugShape::Reading(const QueuedReading& reading) {
  std::vector<record::OutgoingMessage> out = AtQos0(flow_.Reading(reading, now_()));
  // The reading itself at QoS 1, unlike the convention's QoS 0: it leaves the disk queue only
  // once the broker has it, so a line cut silently loses none (they go again, historical,
  // after the next birth). A host receives it at its own subscription's QoS either way.
  if (!out.empty()) out.back().qos = 1;
  return out;
}

std::vector<record::OutgoingMessage> SparkplugShape::Shape(const record::QueuedMessage& message) {
  if (message.topic == NodeDataTopic()) return {AtQos0(flow_.NodeData(Metrics(), now_()))};
  const std::optional<QueuedReading> reading = UnpackReading(message.payload);
  if (!reading) return {};  // not of ours: nothing to say
  if (message.topic == ReadingTopic()) return Reading(*reading);
  if (message.topic == GoneTopic()) {
    return AtQos0(flow_.SensorGone(reading->port, reading->id, now_()));
  }
  return {};
}

bool SparkplugShape::Received(const std::string& topic, const std::string& payload) {
  return topic == flow_.Node().Topic("NCMD") && EdgeNode::AsksRebirth(payload);
}

void SparkplugShape::Disconnected() { flow_.Disconnected(); }

std::vector<record::OutgoingMessage> SparkplugShape::Farewell() {
  record::OutgoingMessage death = Death();
  flow_.Disconnected();
  return {std::move(death)};
}

}  // namespace kelta::sparkplug
