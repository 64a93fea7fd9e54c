#pragma once
// One reading as the recorder hands it on: what was measured, where, when, and the sensor's
// reported settings when it told them. Pure functions, safe on any thread.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelta::record {

struct SensorReading {
  std::chrono::system_clock::time_point time;
  uint64_t sequence = 0;  // per sensor ID: from 1, or going on from the last run
  // The recorder's id (ReadingIdentity), which with the sensor ID and the sequence number names
  // the reading for good; empty without a state folder (no MQTT), and then left out.
  std::string recorder;
  std::string port;  // "COM5" or the device path given
  int id = 0;        // the sensor ID the reading belongs to
  double angle = 0;
  std::string line;  // the frame's text as received
  // What "#INFO" reported (continuous mode); absent in bus mode, where no sensor is asked.
  // The version goes to Sparkplug's birth only; the JSON keeps its fields.
  std::optional<std::string> version;
  std::optional<std::string> mode;
  std::optional<std::string> negativeRange;
  std::optional<std::string> positiveRange;
};

// "2026-12-07T14:02:11.250Z": UTC, milliseconds.
std::string IsoUtcTime(std::chrono::system_clock::time_point when);

// One JSON object on one line, without the line's end:
// {"time":"...","seq":12[,"recorder":"<32 hex digits>"],"port":"COM5","id":7,"angle":12.3,
//  "line":"12.3"[,"mode":"2","nrange":"1800","prange":"1800"]}
// The angle is the shortest text that reads back as the same double ("." always); a value that
// is not finite becomes null. Strings are valid JSON whatever the bytes: control bytes, quote
// and backslash escaped, bytes 0x80 to 0xFF taken as Latin-1 characters.
std::string ReadingJson(const SensorReading& reading);

// text as a JSON string literal, quotes included (escaping as above).
std::string JsonString(std::string_view text);

}  // namespace kelta::record
