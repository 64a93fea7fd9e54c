#include "apps/recorder/ReadingJson.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kelta::record {

std::string IsoUtcTime(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  // The calendar of <chrono> rather than the C library's: the same on every system, and
  // floor keeps times before 1970 right too.
  const sys_time<milliseconds> time = floor<milliseconds>(when);
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> clock{time - day};
  char text[96];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string ReadingJson(const SensorReading& r) {
  std::string angle = "null";
  if (std::isfinite(r.angle)) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, r.angle).ptr;
    angle.assign(digits, end);
  }
  std::string json =
      "{\"time\":\"" + IsoUtcTime(r.time) + "\",\"seq\":" + std::to_string(r.sequence) +
      (r.recorder.empty() ? std::string() : ",\"recorder\":" + JsonString(r.recorder)) +
      ",\"port\":" + JsonString(r.port) + ",\"id\":" + std::to_string(r.id) +
      ",\"angle\":" + angle + ",\"line\":" + JsonString(r.line);
  if (r.mode) json += ",\"mode\":" + JsonString(*r.mode);
  if (r.negativeRange) json += ",\"nrange\":" + JsonString(*r.negativeRange);
  if (r.positiveRange) json += ",\"prange\":" + JsonString(*r.positiveRange);
  json += '}';
  return json;
}

}  // namespace kelta::record
