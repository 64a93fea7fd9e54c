#pragma once
// What the simulated sensor understands: command lines (without terminator) and the ID poll.

#include <cstdint>
#include <string>
#include <string_view>

namespace kelta::sim {

enum class CommandKind {
  kInfo,           // "#INFO"
  kRead,           // "#READ": stream data frames
  kStop,           // "#STOP"
  kData,           // "#DATA": one frame
  kSave,           // "#SAVE"
  kId,             // "#ID<n>"
  kNegativeRange,  // "#CALI14<tenths>"
  kPositiveRange,  // "#CALI15<tenths>", "0" meaning 3600
  kMode,           // "#MODE<0..3>"
  kUnknown,        // any other line starting with "#"
  kNotACommand,    // a line not starting with "#": noise, ignored
};

struct SensorCommand {
  CommandKind kind = CommandKind::kNotACommand;
  // For kId, kNegativeRange, kPositiveRange, kMode: the argument is a valid value for the
  // sensor (ID 0..77; negative range 0..3600; positive range 1..3600 after "0" became 3600;
  // mode 0..3). An invalid argument leaves valid false and the sensor answers "NG".
  bool valid = false;
  int value = 0;
};

SensorCommand ParseCommand(std::string_view line);

}  // namespace kelta::sim
