#pragma once
// What the simulated sensor reports in its information reply and what the configuration
// commands change. Plain data; the owner guards it.

#include <array>
#include <string>

namespace kelta::sim {

inline constexpr int kMaxSensorId = 77;
inline constexpr int kFullTurnTenths = 3600;

struct SensorSettings {
  std::string version = "1.00";  // exactly 4 characters: the console takes 4 after "V:"
  int id = 1;                    // 0..77; bus address 0xB0 + id
  std::string mode = "2";        // direction mode "0".."3"
  std::string calibrationState = "1";
  std::string zeroOffset = "0";
  int negativeRange = 1800;  // tenths of a degree, 0..3600
  int positiveRange = 1800;  // tenths of a degree, 1..3600; 3600 travels as "0"
  std::string mvGain = "1000";
  std::string mvOffset = "0";
  // Compensation coefficients 0-9, then A and B.
  std::array<std::string, 12> coefficients = {"100", "101", "102", "103", "104", "105",
                                              "106", "107", "108", "109", "110", "111"};
};

// Empty when the settings can be reported on the wire; otherwise what is wrong (an ID out of
// range, a text that would break the comma grammar or the line, ...).
std::string SettingsProblem(const SensorSettings& settings);

}  // namespace kelta::sim
