#pragma once
// The recorder's connection as a Sparkplug B edge node (PublishShape): the node's death as the
// will, with a birth/death sequence number (bdSeq) kept in the state folder and one more at
// every connection; the node's birth and its sensors' births as the greeting, and again when a
// host sends "Node Control/Rebirth" on the node's command topic; queued readings as device
// data; the node's death said before a deliberate disconnect.
//
// What the owner queues (MqttPublisher::Publish) with the topics below: ReadingTopic() with a
// PackReading payload for each reading, GoneTopic() with PackReading of the sensor's last
// reading when a sensor falls silent or its device is lost, NodeDataTopic() (any payload) for
// the node's own metrics at its heartbeat. Node metrics are set from any thread.
//
// Births and deaths go at QoS 0, as the convention has them; a reading's data at QoS 1, so
// that it leaves the disk queue only once the broker has it; the will at QoS 1.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "apps/recorder/PublishShape.h"
#include "apps/recorder/RecordSystem.h"
#include "apps/recorder/sparkplug/SparkplugFlow.h"

namespace kelta::sparkplug {

class SparkplugShape : public record::PublishShape {
 public:
  // stateFolder: where "sparkplug-bdseq" is kept (the publisher's queue folder). now: ms since
  // the epoch. Throws as record::StateFolder does, or std::system_error when the bdSeq cannot
  // be read.
  SparkplugShape(EdgeNode node, const std::string& stateFolder, std::function<uint64_t()> now,
                 std::function<void(const std::string&)> report);

  static std::string ReadingTopic() { return "sparkplug/reading"; }
  static std::string GoneTopic() { return "sparkplug/gone"; }
  static std::string NodeDataTopic() { return "sparkplug/node"; }
  // Only these topics are taken up from a queue an earlier run left.
  static std::string TopicPrefix() { return "sparkplug/"; }

  void SetNodeMetrics(const NodeMetrics& metrics);
  // The bdSeq of the latest will (tests).
  uint64_t BdSeq() const { return bdSeq_; }

  record::OutgoingMessage Will() override;
  std::vector<std::string> Subscriptions() const override;
  std::vector<record::OutgoingMessage> Greeting() override;
  std::vector<record::OutgoingMessage> Shape(const record::QueuedMessage& message) override;
  bool Received(const std::string& topic, const std::string& payload) override;
  void Disconnected() override;
  std::vector<record::OutgoingMessage> Farewell() override;

 private:
  NodeMetrics Metrics() const;
  // The node's death with the latest will's bdSeq, at QoS 1: the will and the farewell.
  record::OutgoingMessage Death() const;
  std::vector<record::OutgoingMessage> Reading(const QueuedReading& reading);

  SparkplugFlow flow_;
  record::StateFolder folder_;
  std::function<uint64_t()> now_;
  std::function<void(const std::string&)> report_;
  uint64_t bdSeq_ = 0;    // the latest will's
  bool anyWill_ = false;  // a will was made in this run
  mutable std::mutex metricsLock_;
  NodeMetrics metrics_;
};

}  // namespace kelta::sparkplug
