#include "protocol/SensorCommands.h"

#include "protocol/StrToInt.h"

namespace kelta {

namespace {
constexpr char kEnq = 0x05;
}

std::string IdChangeCommand(const std::string& idFieldText) {
  return "#ID" + std::to_string(StrToInt(idFieldText)) + "\r\n";
}

std::string NegativeRangeCommand(const std::string& rangeFieldText) {
  return "#CALI14" + rangeFieldText + "\r\n";
}

std::string PositiveRangeCommand(const std::string& rangeFieldText) {
  return "#CALI15" + (rangeFieldText == "3600" ? std::string("0") : rangeFieldText) + "\r\n";
}

std::string RawLineCommand(const std::string& text) { return text + "\r\n"; }

uint8_t PollAddress(int32_t id) {
  // Unsigned: the sum wraps instead of overflowing for ids near the 32-bit limit.
  return static_cast<uint8_t>(0xB0u + static_cast<uint32_t>(id));
}

std::string IdPollFrame(const std::string& pollIdFieldText) {
  return {static_cast<char>(PollAddress(StrToInt(pollIdFieldText))), kEnq};
}

std::string IdPollStatusText(uint8_t address) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  if (address >= 16) text += kHex[address >> 4];
  text += kHex[address & 15];
  return text + " 05 - HEX";
}

}  // namespace kelta
