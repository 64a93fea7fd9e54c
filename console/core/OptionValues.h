#pragma once
// Command-line option values as the programs read them (kelta-sim, kelta-record): every fault
// is a std::invalid_argument that starts with the option's name, so the program can print it
// as it stands and end with its usage status.

#include <string>
#include <vector>

namespace kelta {

[[noreturn]] void OptionError(const std::string& option, const std::string& why);

// A whole number from low to high, the whole text and nothing else.
long long OptionInteger(const std::string& option, const std::string& text, long long low,
                        long long high);

// A finite number from low to high, the whole text and nothing else ("." as the decimal point).
double OptionNumber(const std::string& option, const std::string& text, double low, double high);

// A comma-separated list of IDs from 0 to maxId, each once.
std::vector<int> OptionIdList(const std::string& option, const std::string& text, int maxId);

// A folder, never empty, ending in '/'.
std::string OptionFolder(const std::string& option, std::string text);

}  // namespace kelta
