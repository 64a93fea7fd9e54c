#pragma once
// The local calendar time of a moment, safe on any thread. LocalTime_linux.cpp and
// LocalTime_win32.cpp hold the two systems' reentrant calls.

#include <ctime>
#include <string>

namespace kelta {

std::tm LocalTime(std::time_t when);
// The same moment's calendar time in UTC.
std::tm UtcTime(std::time_t when);

// The local time now as "HH:MM:SS", for the lines that say when a port was lost or came back.
std::string ClockText();

}  // namespace kelta
