#include "serial/VaCommError.h"

#include "serial/SerialDevice.h"

namespace kelta {

std::string SystemErrorText(int err) {
  std::string text = device::ErrorText(err);
  while (!text.empty()) {
    const unsigned char last = static_cast<unsigned char>(text.back());
    if (last <= ' ' || last == '.' || last == 0x7F) {
      text.pop_back();
    } else {
      break;
    }
  }
  return text;
}

std::string FormatCommError(const std::string& format, int err) {
  std::string out = format;
  const std::size_t d = out.find("%d");
  if (d == std::string::npos) return out;
  const std::string code = std::to_string(err);
  out.replace(d, 2, code);
  const std::size_t s = out.find("%s", d + code.size());
  if (s != std::string::npos) out.replace(s, 2, SystemErrorText(err));
  return out;
}

void RaiseCommError(const std::string& format, int err) {
  throw EVaCommError(FormatCommError(format, err));
}

}  // namespace kelta
