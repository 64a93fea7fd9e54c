#include "base/OptionValues.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <system_error>

namespace kelta {

bool OptionReader::Next() {
  if (next_ > 0 && !takesValue_ && hasInline_) OptionError(name_, "takes no value");
  if (next_ >= args_.size()) return false;
  name_ = args_[next_++];
  hasInline_ = false;
  takesValue_ = true;
  if (const size_t eq = name_.find('='); name_.starts_with("--") && eq != std::string::npos) {
    inline_ = name_.substr(eq + 1);
    hasInline_ = true;
    name_.resize(eq);
  }
  return true;
}

std::string OptionReader::Value() {
  if (hasInline_) return inline_;
  if (next_ >= args_.size()) OptionError(name_, "needs a value");
  return args_[next_++];
}

void OptionError(const std::string& option, const std::string& why) {
  throw std::invalid_argument(option + ": " + why);
}

long long OptionInteger(const std::string& option, const std::string& text, long long low,
                        long long high) {
  long long value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    OptionError(option, "\"" + text + "\" is not a whole number");
  }
  if (value < low || value > high) {
    OptionError(option, std::to_string(value) + " is outside " + std::to_string(low) + " to " +
                            std::to_string(high));
  }
  return value;
}

double OptionNumber(const std::string& option, const std::string& text, double low, double high) {
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      !std::isfinite(value)) {
    OptionError(option, "\"" + text + "\" is not a number");
  }
  if (value < low || value > high) OptionError(option, "\"" + text + "\" is out of range");
  return value;
}

std::vector<int> OptionIdList(const std::string& option, const std::string& text, int maxId) {
  std::vector<int> ids;
  size_t from = 0;
  for (;;) {
    const size_t comma = text.find(',', from);
    const std::string item =
        text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    const int id = static_cast<int>(OptionInteger(option, item, 0, maxId));
    if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
      OptionError(option, "ID " + item + " is given twice");
    }
    ids.push_back(id);
    if (comma == std::string::npos) return ids;
    from = comma + 1;
  }
}

std::string OptionFolder(const std::string& option, std::string text) {
  if (text.empty()) OptionError(option, "needs a folder");
  if (text.back() != '/') text += '/';
  return text;
}

}  // namespace kelta
