#pragma once
// What the recorder sends as a Sparkplug B edge node, in order, for each thing that happens:
// a connection (its will, then the births), a reading (its sensor's birth first when the
// sensor is not born since the node's birth, then its data), a sensor gone silent or lost (its
// death), a host's rebirth command (the births again). The publisher sends the messages in the
// order returned; the sequence numbers count that order.
//
// Readings wait in the publisher's disk queue in a packed form of their own (PackReading), so
// that readings from before an outage go out after the next birth with their own times and
// flagged historical.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "apps/recorder/sparkplug/EdgeNode.h"

namespace kelta::sparkplug {

struct QueuedReading {
  uint64_t ms = 0;  // when the frame was decoded, ms since the epoch
  std::string port;
  int id = 0;
  double angle = 0;
  std::string line;
  // What "#INFO" said of the sensor, when it was asked.
  std::optional<std::string> version;
  std::optional<std::string> mode;
  std::optional<std::string> negativeRange;
  std::optional<std::string> positiveRange;
};

// The numbers as text, the angle as its exact bits, each text after its length: read back bit
// for bit, whatever bytes the texts hold.
std::string PackReading(const QueuedReading& reading);
// nullopt for anything PackReading did not make.
std::optional<QueuedReading> UnpackReading(std::string_view packed);

class SparkplugFlow {
 public:
  explicit SparkplugFlow(EdgeNode node) : node_(std::move(node)) {}

  const EdgeNode& Node() const { return node_; }

  // The will to register with the next connection: the node's death with its bdSeq.
  Message Will(uint64_t bdSeq, uint64_t nowMs) const { return node_.NodeDeath(bdSeq, nowMs); }
  // Once connected (bdSeq as in the will), and for a rebirth: the node's birth, then the birth
  // of every sensor that has not died since its last reading.
  std::vector<Message> Births(uint64_t bdSeq, const NodeMetrics& metrics, uint64_t nowMs);
  // A reading taken from the queue.
  std::vector<Message> Reading(const QueuedReading& reading, uint64_t nowMs);
  // The sensor fell silent or its device was lost: its death, when it is born.
  std::vector<Message> SensorGone(const std::string& port, int id, uint64_t nowMs);
  // The connection ended: nothing is born any more (the broker sent the node's death).
  void Disconnected();
  // The node's own metrics between births.
  Message NodeData(const NodeMetrics& metrics, uint64_t nowMs) {
    return node_.NodeData(metrics, nowMs);
  }

 private:
  struct Sensor {
    SensorBirth birth;
    bool alive = true;  // readings came since its last death
    bool born = false;  // its birth was sent since the node's birth
  };

  EdgeNode node_;
  std::map<std::string, Sensor> sensors_;  // by device name
  bool nodeBorn_ = false;
  uint64_t bornAtMs_ = 0;
};

}  // namespace kelta::sparkplug
