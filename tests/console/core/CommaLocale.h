#pragma once
// A locale that writes "," as the decimal mark, as a user's regional settings may. Where one
// comes from is the system's business: CommaLocale_linux.cpp and CommaLocale_win32.cpp.

#include <string>

namespace kelta::test {

// Switches LC_ALL to a comma locale and returns true, or leaves the locale as it was and
// returns false when the system has none. scratchDir (with a trailing '/') may receive a
// compiled locale; it must outlive the use of the locale.
bool SetCommaLocale(const std::string& scratchDir);

}  // namespace kelta::test
