#include "apps/recorder/sparkplug/SparkplugFlow.h"

#include <charconv>
#include <cstring>
#include <string_view>
#include <utility>

namespace kelta::sparkplug {

namespace {

// "KSP1 ms id angle-bits " and then each text as its length, ':' and its bytes ("-" for an
// absent one): any byte of a text stays its own.
constexpr std::string_view kPackMark = "KSP1";

void PutText(std::string& to, const std::optional<std::string>& text) {
  if (!text) {
    to += '-';
    return;
  }
  to += std::to_string(text->size());
  to += ':';
  to += *text;
}

template <typename T>
bool TakeNumber(std::string_view& from, T& value, char end, int base = 10) {
  const size_t stop = from.find(end);
  if (stop == std::string_view::npos || stop == 0) return false;
  const auto [last, error] = std::from_chars(from.data(), from.data() + stop, value, base);
  if (error != std::errc() || last != from.data() + stop) return false;
  from.remove_prefix(stop + 1);
  return true;
}

bool TakeText(std::string_view& from, std::optional<std::string>& text) {
  if (!from.empty() && from.front() == '-') {
    text.reset();
    from.remove_prefix(1);
    return true;
  }
  size_t size = 0;
  if (!TakeNumber(from, size, ':') || from.size() < size) return false;
  text = std::string(from.substr(0, size));
  from.remove_prefix(size);
  return true;
}

}  // namespace

std::string PackReading(const QueuedReading& r) {
  uint64_t bits = 0;
  static_assert(sizeof bits == sizeof r.angle);
  std::memcpy(&bits, &r.angle, sizeof bits);
  char hex[17];
  const auto end = std::to_chars(hex, hex + sizeof hex, bits, 16).ptr;
  std::string packed(kPackMark);
  packed += ' ' + std::to_string(r.ms) + ' ' + std::to_string(r.id) + ' ';
  packed.append(hex, end);
  packed += ' ';
  for (const auto* text : {&r.version, &r.mode, &r.negativeRange, &r.positiveRange}) {
    PutText(packed, *text);
  }
  PutText(packed, r.port);
  PutText(packed, r.line);
  return packed;
}

std::optional<QueuedReading> UnpackReading(std::string_view packed) {
  if (packed.substr(0, kPackMark.size() + 1) != std::string(kPackMark) + ' ') return std::nullopt;
  packed.remove_prefix(kPackMark.size() + 1);
  QueuedReading r;
  uint64_t bits = 0;
  if (!TakeNumber(packed, r.ms, ' ') || !TakeNumber(packed, r.id, ' ') ||
      !TakeNumber(packed, bits, ' ', 16)) {
    return std::nullopt;
  }
  std::memcpy(&r.angle, &bits, sizeof bits);
  std::optional<std::string> port, line;
  for (auto* text : {&r.version, &r.mode, &r.negativeRange, &r.positiveRange, &port, &line}) {
    if (!TakeText(packed, *text)) return std::nullopt;
  }
  if (!port || !line || !packed.empty()) return std::nullopt;
  r.port = std::move(*port);
  r.line = std::move(*line);
  return r;
}

std::vector<Message> SparkplugFlow::Births(uint64_t bdSeq, const NodeMetrics& metrics,
                                           uint64_t nowMs) {
  std::vector<Message> out = {node_.NodeBirth(bdSeq, metrics, nowMs)};
  nodeBorn_ = true;
  bornAtMs_ = nowMs;
  for (auto& [device, sensor] : sensors_) {
    sensor.born = false;
    if (!sensor.alive) continue;
    out.push_back(node_.DeviceBirth(sensor.birth, nowMs));
    sensor.born = true;
  }
  return out;
}

std::vector<Message> SparkplugFlow::Reading(const QueuedReading& r, uint64_t nowMs) {
  std::vector<Message> out;
  const std::string device = EdgeNode::DeviceName(r.port, r.id);
  Sensor& sensor = sensors_[device];
  SensorBirth& birth = sensor.birth;
  birth.device = device;
  birth.id = r.id;
  // What "#INFO" said stays known until it says otherwise.
  if (r.version) birth.version = r.version;
  if (r.mode) birth.mode = r.mode;
  if (r.negativeRange) birth.negativeRange = r.negativeRange;
  if (r.positiveRange) birth.positiveRange = r.positiveRange;
  sensor.alive = true;
  if (nodeBorn_ && !sensor.born) {
    out.push_back(node_.DeviceBirth(birth, nowMs));
    sensor.born = true;
  }
  birth.angle = r.angle;
  birth.line = r.line;
  if (nodeBorn_) {
    out.push_back(node_.DeviceData(device, r.angle, r.line, r.ms, r.ms < bornAtMs_, nowMs));
  }
  return out;
}

std::vector<Message> SparkplugFlow::SensorGone(const std::string& port, int id, uint64_t nowMs) {
  std::vector<Message> out;
  const auto found = sensors_.find(EdgeNode::DeviceName(port, id));
  if (found == sensors_.end()) return out;
  Sensor& sensor = found->second;
  if (nodeBorn_ && sensor.born) out.push_back(node_.DeviceDeath(found->first, nowMs));
  sensor.alive = false;
  sensor.born = false;
  return out;
}

void SparkplugFlow::Disconnected() {
  nodeBorn_ = false;
  for (auto& [device, sensor] : sensors_) sensor.born = false;
}

}  // namespace kelta::sparkplug
