#pragma once
// A Sparkplug B payload as the recorder builds and reads it: plain C++ values, encoded to and
// decoded from protobuf bytes (nanopb, fixed sizes, no allocation inside the codec).

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kelta::sparkplug {

// The convention's data type numbers.
enum class DataType : uint32_t {
  Int8 = 1,
  Int16 = 2,
  Int32 = 3,
  Int64 = 4,
  UInt8 = 5,
  UInt16 = 6,
  UInt32 = 7,
  UInt64 = 8,
  Float = 9,
  Double = 10,
  Boolean = 11,
  String = 12,
  DateTime = 13,
  Text = 14,
};

// Integers of every width travel as their 64-bit two's complement bits (the encoder keeps the
// low 32 of them for the 32-bit types); no value means "is_null".
using MetricValue = std::variant<std::monostate, uint64_t, double, bool, std::string>;

struct Metric {
  std::string name;
  DataType type = DataType::Double;
  MetricValue value;
  std::optional<uint64_t> timestamp;  // ms since the epoch
  bool historical = false;
  // Text properties (the angle's "unit": "deg").
  std::vector<std::pair<std::string, std::string>> properties;

  static Metric Signed(std::string name, DataType type, int64_t value);
  static Metric Unsigned(std::string name, DataType type, uint64_t value);
  static Metric Real(std::string name, double value);
  static Metric Flag(std::string name, bool value);
  static Metric Text(std::string name, std::string value);
};

struct Payload {
  std::optional<uint64_t> timestamp;  // ms since the epoch
  std::optional<uint64_t> seq;        // absent only in a node's death
  std::vector<Metric> metrics;
};

// A payload that does not fit the codec (too many metrics or properties, a text longer than its
// field or holding a NUL byte): refused whole, never cut.
class UnencodablePayload : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Encode(const Payload& payload);
// nullopt for bytes that are no payload or exceed the codec's sizes.
std::optional<Payload> Decode(std::string_view bytes);

}  // namespace kelta::sparkplug
