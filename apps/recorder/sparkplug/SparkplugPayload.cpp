#include "apps/recorder/sparkplug/SparkplugPayload.h"

#include <pb_decode.h>
#include <pb_encode.h>

#include <cstring>
#include <iterator>
#include <memory>

#include "sparkplug_b.pb.h"

namespace kelta::sparkplug {

namespace {

using PbPayload = kelta_sparkplug_Payload;
using PbMetric = kelta_sparkplug_Payload_Metric;

template <size_t N>
void CopyText(char (&to)[N], const std::string& from, const char* what) {
  if (from.size() >= N) throw UnencodablePayload(std::string(what) + " too long");
  // The codec's texts end at their first NUL: one inside would cut the text short unseen.
  if (from.find('\0') != std::string::npos) {
    throw UnencodablePayload(std::string(what) + " holds a NUL byte");
  }
  std::memcpy(to, from.data(), from.size());
  to[from.size()] = '\0';
}

bool Is32Bit(DataType type) {
  switch (type) {
    case DataType::Int8:
    case DataType::Int16:
    case DataType::Int32:
    case DataType::UInt8:
    case DataType::UInt16:
    case DataType::UInt32:
      return true;
    default:
      return false;
  }
}

void PutValue(PbMetric& to, const Metric& from) {
  if (const auto* bits = std::get_if<uint64_t>(&from.value)) {
    if (Is32Bit(from.type)) {
      to.which_value = kelta_sparkplug_Payload_Metric_int_value_tag;
      to.value.int_value = static_cast<uint32_t>(*bits & 0xFFFFFFFFu);
    } else {
      to.which_value = kelta_sparkplug_Payload_Metric_long_value_tag;
      to.value.long_value = *bits;
    }
  } else if (const auto* real = std::get_if<double>(&from.value)) {
    if (from.type == DataType::Float) {
      to.which_value = kelta_sparkplug_Payload_Metric_float_value_tag;
      to.value.float_value = static_cast<float>(*real);
    } else {
      to.which_value = kelta_sparkplug_Payload_Metric_double_value_tag;
      to.value.double_value = *real;
    }
  } else if (const auto* flag = std::get_if<bool>(&from.value)) {
    to.which_value = kelta_sparkplug_Payload_Metric_boolean_value_tag;
    to.value.boolean_value = *flag;
  } else if (const auto* text = std::get_if<std::string>(&from.value)) {
    to.which_value = kelta_sparkplug_Payload_Metric_string_value_tag;
    CopyText(to.value.string_value, *text, "metric text");
  } else {
    to.has_is_null = true;
    to.is_null = true;
  }
}

MetricValue TakeValue(const PbMetric& from) {
  switch (from.which_value) {
    case kelta_sparkplug_Payload_Metric_int_value_tag: {
      // A signed 32-bit type's value spreads its sign over the 64 bits.
      const uint32_t bits = from.value.int_value;
      const auto type = static_cast<DataType>(from.datatype);
      const bool signedType =
          type == DataType::Int8 || type == DataType::Int16 || type == DataType::Int32;
      if (signedType && (bits & 0x80000000u) != 0) return uint64_t{bits} | 0xFFFFFFFF00000000u;
      return uint64_t{bits};
    }
    case kelta_sparkplug_Payload_Metric_long_value_tag:
      return uint64_t{from.value.long_value};
    case kelta_sparkplug_Payload_Metric_float_value_tag:
      return double{from.value.float_value};
    case kelta_sparkplug_Payload_Metric_double_value_tag:
      return from.value.double_value;
    case kelta_sparkplug_Payload_Metric_boolean_value_tag:
      return from.value.boolean_value;
    case kelta_sparkplug_Payload_Metric_string_value_tag:
      return std::string(from.value.string_value);
    default:
      return std::monostate{};
  }
}

}  // namespace

Metric Metric::Signed(std::string name, DataType type, int64_t value) {
  return Metric{std::move(name), type, static_cast<uint64_t>(value), {}, false, {}};
}
Metric Metric::Unsigned(std::string name, DataType type, uint64_t value) {
  return Metric{std::move(name), type, value, {}, false, {}};
}
Metric Metric::Real(std::string name, double value) {
  return Metric{std::move(name), DataType::Double, value, {}, false, {}};
}
Metric Metric::Flag(std::string name, bool value) {
  return Metric{std::move(name), DataType::Boolean, value, {}, false, {}};
}
Metric Metric::Text(std::string name, std::string value) {
  return Metric{std::move(name), DataType::String, std::move(value), {}, false, {}};
}

std::string Encode(const Payload& payload) {
  // About 40 kB: on the heap, not on the stack of whichever thread encodes.
  auto pb = std::make_unique<PbPayload>();
  if (payload.timestamp) {
    pb->has_timestamp = true;
    pb->timestamp = *payload.timestamp;
  }
  if (payload.seq) {
    pb->has_seq = true;
    pb->seq = *payload.seq;
  }
  if (payload.metrics.size() > std::size(pb->metrics)) throw UnencodablePayload("too many metrics");
  pb->metrics_count = static_cast<pb_size_t>(payload.metrics.size());
  for (size_t i = 0; i < payload.metrics.size(); ++i) {
    const Metric& from = payload.metrics[i];
    PbMetric& to = pb->metrics[i];
    to.has_name = true;
    CopyText(to.name, from.name, "metric name");
    to.has_datatype = true;
    to.datatype = static_cast<uint32_t>(from.type);
    if (from.timestamp) {
      to.has_timestamp = true;
      to.timestamp = *from.timestamp;
    }
    if (from.historical) {
      to.has_is_historical = true;
      to.is_historical = true;
    }
    PutValue(to, from);
    if (!from.properties.empty()) {
      auto& set = to.properties;
      if (from.properties.size() > std::size(set.keys))
        throw UnencodablePayload("too many properties");
      to.has_properties = true;
      set.keys_count = set.values_count = static_cast<pb_size_t>(from.properties.size());
      for (size_t k = 0; k < from.properties.size(); ++k) {
        CopyText(set.keys[k], from.properties[k].first, "property name");
        set.values[k].has_type = true;
        set.values[k].type = static_cast<uint32_t>(DataType::String);
        set.values[k].which_value = kelta_sparkplug_Payload_PropertyValue_string_value_tag;
        CopyText(set.values[k].value.string_value, from.properties[k].second, "property text");
      }
    }
  }
  size_t size = 0;
  if (!pb_get_encoded_size(&size, kelta_sparkplug_Payload_fields, pb.get())) {
    throw UnencodablePayload("payload not encodable");
  }
  std::string bytes(size, '\0');
  pb_ostream_t out = pb_ostream_from_buffer(reinterpret_cast<pb_byte_t*>(bytes.data()), size);
  if (!pb_encode(&out, kelta_sparkplug_Payload_fields, pb.get())) {
    throw UnencodablePayload(std::string("payload not encodable: ") + PB_GET_ERROR(&out));
  }
  bytes.resize(out.bytes_written);
  return bytes;
}

std::optional<Payload> Decode(std::string_view bytes) {
  auto pb = std::make_unique<PbPayload>();
  pb_istream_t in =
      pb_istream_from_buffer(reinterpret_cast<const pb_byte_t*>(bytes.data()), bytes.size());
  if (!pb_decode(&in, kelta_sparkplug_Payload_fields, pb.get())) return std::nullopt;
  Payload payload;
  if (pb->has_timestamp) payload.timestamp = pb->timestamp;
  if (pb->has_seq) payload.seq = pb->seq;
  for (pb_size_t i = 0; i < pb->metrics_count; ++i) {
    const PbMetric& from = pb->metrics[i];
    Metric metric;
    metric.name = from.name;
    metric.type = static_cast<DataType>(from.datatype);
    metric.value = TakeValue(from);
    if (from.has_timestamp) metric.timestamp = from.timestamp;
    metric.historical = from.has_is_historical && from.is_historical;
    const auto& set = from.properties;
    for (pb_size_t k = 0; k < set.keys_count && k < set.values_count; ++k) {
      if (set.values[k].which_value == kelta_sparkplug_Payload_PropertyValue_string_value_tag) {
        metric.properties.emplace_back(set.keys[k], set.values[k].value.string_value);
      }
    }
    payload.metrics.push_back(std::move(metric));
  }
  return payload;
}

}  // namespace kelta::sparkplug
