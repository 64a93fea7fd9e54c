#include "apps/sim/SensorCommand.h"

#include <charconv>

#include "apps/sim/SensorSettings.h"

namespace kelta::sim {

namespace {

// Plain decimal digits only (the console writes IDs and ranges that way); a sign, blanks or
// trailing text make the argument invalid.
bool ParseDigits(std::string_view text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

SensorCommand WithArgument(CommandKind kind, std::string_view argument, int low, int high) {
  SensorCommand command{kind, false, 0};
  int value = 0;
  if (!ParseDigits(argument, value)) return command;
  if (kind == CommandKind::kPositiveRange && value == 0) value = kFullTurnTenths;
  if (value < low || value > high) return command;
  command.valid = true;
  command.value = value;
  return command;
}

}  // namespace

SensorCommand ParseCommand(std::string_view line) {
  if (line.empty() || line.front() != '#') return {CommandKind::kNotACommand, false, 0};
  if (line == "#INFO") return {CommandKind::kInfo, true, 0};
  if (line == "#READ") return {CommandKind::kRead, true, 0};
  if (line == "#STOP") return {CommandKind::kStop, true, 0};
  if (line == "#DATA") return {CommandKind::kData, true, 0};
  if (line == "#SAVE") return {CommandKind::kSave, true, 0};
  if (line.starts_with("#CALI14")) {
    return WithArgument(CommandKind::kNegativeRange, line.substr(7), 0, kFullTurnTenths);
  }
  if (line.starts_with("#CALI15")) {
    return WithArgument(CommandKind::kPositiveRange, line.substr(7), 1, kFullTurnTenths);
  }
  if (line.starts_with("#MODE")) return WithArgument(CommandKind::kMode, line.substr(5), 0, 3);
  if (line.starts_with("#ID"))
    return WithArgument(CommandKind::kId, line.substr(3), 0, kMaxSensorId);
  return {CommandKind::kUnknown, false, 0};
}

}  // namespace kelta::sim
