#include "apps/sim/SensorSettings.h"

namespace kelta::sim {

namespace {

// A value may not end its item early (comma), end the line (CR, and LF which the console
// drops), look like frame framing (STX, ETB, "$") or be anything but printable ASCII.
bool FitsItem(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == ',' || c == '$') return false;
  }
  return true;
}

}  // namespace

std::string SettingsProblem(const SensorSettings& s) {
  if (s.version.size() != 4 || !FitsItem(s.version)) {
    return "version must be 4 printable characters without ',' or '$'";
  }
  if (s.id < 0 || s.id > kMaxSensorId) return "ID must be 0 to 77";
  if (s.negativeRange < 0 || s.negativeRange > kFullTurnTenths) {
    return "negative range must be 0 to 3600 tenths of a degree";
  }
  if (s.positiveRange < 1 || s.positiveRange > kFullTurnTenths) {
    return "positive range must be 1 to 3600 tenths of a degree";
  }
  const std::string* texts[] = {&s.mode, &s.calibrationState, &s.zeroOffset, &s.mvGain,
                                &s.mvOffset};
  for (const std::string* text : texts) {
    if (!FitsItem(*text)) return "item \"" + *text + "\" has a character the reply cannot carry";
  }
  for (const std::string& c : s.coefficients) {
    if (!FitsItem(c)) return "coefficient \"" + c + "\" has a character the reply cannot carry";
  }
  return {};
}

}  // namespace kelta::sim
