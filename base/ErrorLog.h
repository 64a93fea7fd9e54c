#pragma once
// "LogFile.Log": the append-only error log beside the executable. GUI thread only.

#include <ctime>
#include <string>

namespace kelta {

inline constexpr const char* kLogFileName = "LogFile.Log";

// message + " - " + the local time `when` as "yyyy-mm-dd hh:mm:ss".
std::string FormatLogLine(const std::string& message, std::time_t when);

// FormatLogLine with the current time.
std::string LogLine(const std::string& message);

// Appends line + CR LF to dir + "LogFile.Log" (dir ends with '/'), creating the file when
// missing. Throws EInOutError when a step fails.
void WriteLogLine(const std::string& dir, const std::string& line);

}  // namespace kelta
