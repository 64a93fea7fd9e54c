#pragma once
// The recorder as a Sparkplug B edge node: the topics, the message sequence and the payloads
// of the node's and its sensors' births, data and deaths. No network here: the publisher sends
// what this builds, in the order it is built (the sequence numbers count that order).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelta::sparkplug {

struct Payload;

inline constexpr char kNamespace[] = "spBv1.0";
inline constexpr char kRebirthMetric[] = "Node Control/Rebirth";

struct Message {
  std::string topic;
  std::string payload;
};

// What the node reports of itself, at birth and in its periodic data.
struct NodeMetrics {
  std::string version;
  uint64_t uptimeSeconds = 0;
  uint64_t queueDepth = 0;
  uint64_t readings = 0;
  uint64_t dropped = 0;
};

// A sensor (device) as it is announced: what "#INFO" said of it (absent on a bus, where no
// sensor is asked) and its latest reading if any.
struct SensorBirth {
  std::string device;  // DeviceName(port, id)
  int id = 0;
  std::optional<std::string> version;
  std::optional<std::string> mode;
  std::optional<std::string> negativeRange;
  std::optional<std::string> positiveRange;
  std::optional<double> angle;
  std::string line;  // the latest frame's text
};

class EdgeNode {
 public:
  // Throws std::invalid_argument for a group or node name that cannot be a topic level (empty,
  // or holding '/', '+' or '#').
  EdgeNode(std::string group, std::string node);

  // "spBv1.0/GROUP/TYPE/NODE[/DEVICE]".
  std::string Topic(std::string_view type, std::string_view device = {}) const;

  // The death the broker publishes for the node (its will): bdSeq only, no sequence number.
  Message NodeDeath(uint64_t bdSeq, uint64_t nowMs) const;
  // Starts the sequence anew at 0.
  Message NodeBirth(uint64_t bdSeq, const NodeMetrics& metrics, uint64_t nowMs);
  Message NodeData(const NodeMetrics& metrics, uint64_t nowMs);
  Message DeviceBirth(const SensorBirth& sensor, uint64_t nowMs);
  // readingMs: when the frame was decoded. historical: it waited on disk while the node was
  // away from the broker.
  Message DeviceData(const std::string& device, double angle, const std::string& line,
                     uint64_t readingMs, bool historical, uint64_t nowMs);
  Message DeviceDeath(const std::string& device, uint64_t nowMs);

  // Whether a command payload for the node asks for a rebirth ("Node Control/Rebirth" true).
  static bool AsksRebirth(std::string_view payload);
  // "COM7-3": the port's own name (a device path's last part), '-', the sensor's ID; characters
  // a topic level cannot hold become '_'.
  static std::string DeviceName(const std::string& port, int id);

 private:
  uint64_t NextSeq();
  // A payload stamped now and numbered next.
  Payload Sequenced(uint64_t nowMs);

  std::string group_;
  std::string node_;
  uint64_t seq_ = 0;  // the next message's, 0 to 255
};

}  // namespace kelta::sparkplug
