#include "recorder/ReadingJson.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace kelta::record {

std::string IsoUtcTime(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
  // Floor division keeps times before 1970 right too.
  long long seconds = ms / 1000;
  long long millis = ms % 1000;
  if (millis < 0) {
    millis += 1000;
    --seconds;
  }
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03lldZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
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
  std::string json = "{\"time\":\"" + IsoUtcTime(r.time) +
                     "\",\"seq\":" + std::to_string(r.sequence) +
                     ",\"port\":" + JsonString(r.port) + ",\"id\":" + std::to_string(r.id) +
                     ",\"angle\":" + angle + ",\"line\":" + JsonString(r.line);
  if (r.mode) json += ",\"mode\":" + JsonString(*r.mode);
  if (r.negativeRange) json += ",\"nrange\":" + JsonString(*r.negativeRange);
  if (r.positiveRange) json += ",\"prange\":" + JsonString(*r.positiveRange);
  json += '}';
  return json;
}

}  // namespace kelta::record
