#pragma once
// The local calendar time of a moment, safe on any thread. LocalTime_linux.cpp and
// LocalTime_win32.cpp hold the two systems' reentrant calls.

#include <ctime>

namespace kelta {

std::tm LocalTime(std::time_t when);
// The same moment's calendar time in UTC.
std::tm UtcTime(std::time_t when);

}  // namespace kelta
