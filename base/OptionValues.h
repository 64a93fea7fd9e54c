#pragma once
// Command-line option values as the programs read them (kelta-sim, kelta-record): every fault
// is a std::invalid_argument that starts with the option's name, so the program can print it
// as it stands and end with its usage status.

#include <string>
#include <vector>

namespace kelta {

// Walks a program's arguments: "--name VALUE", "--name=VALUE", flags and plain words.
class OptionReader {
 public:
  explicit OptionReader(const std::vector<std::string>& args) : args_(args) {}
  // Moves to the next argument; false after the last. A value given with "=" to the argument
  // before, which takes none, is refused first.
  bool Next();
  // The argument without its "=VALUE".
  const std::string& Name() const { return name_; }
  // The option's value: after "=", else the next argument.
  std::string Value();
  // This argument takes no value (a flag or a plain word).
  void NoValue() { takesValue_ = false; }
  bool HasInlineValue() const { return hasInline_; }

 private:
  const std::vector<std::string>& args_;
  size_t next_ = 0;
  std::string name_;
  std::string inline_;
  bool hasInline_ = false;
  bool takesValue_ = true;
};

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
