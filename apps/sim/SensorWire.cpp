#include "apps/sim/SensorWire.h"

#include <cmath>
#include <cstdio>

namespace kelta::sim {

uint8_t AddressByte(int id) { return static_cast<uint8_t>(0xB0u + static_cast<unsigned>(id)); }

std::string InfoLine(const SensorSettings& s) {
  static const char* const kHex = "0123456789ABCDEF";
  const uint8_t address = AddressByte(s.id);
  std::string line = "V:" + s.version;
  line += ",I:";
  line += kHex[address >> 4];
  line += kHex[address & 0x0F];
  line += ",DM:" + s.mode;
  line += ",C:" + s.calibrationState;
  line += ",Z:" + s.zeroOffset;
  line += ",N:" + std::to_string(s.negativeRange);
  line += ",P:" + std::to_string(s.positiveRange == kFullTurnTenths ? 0 : s.positiveRange);
  line += ",G:" + s.mvGain;
  line += ",O:" + s.mvOffset;
  for (int i = 0; i < 10; ++i) {
    line += ',';
    line += static_cast<char>('0' + i);
    line += ':';
    line += s.coefficients[static_cast<size_t>(i)];
  }
  line += ",CA:" + s.coefficients[10];
  line += ",CB:" + s.coefficients[11];
  line += kInfoLineEnd;
  line += kCr;
  return line;
}

std::string AngleText(double degrees, bool withDecimal) {
  if (!std::isfinite(degrees)) degrees = 0.0;
  // Integer units keep the text free of the locale's decimal mark and of "-0.0";
  // nearbyint rounds ties to even in the default rounding mode.
  const double scaled = std::nearbyint(withDecimal ? degrees * 10.0 : degrees);
  const double limit = 1e15;  // far beyond any angle; keeps the conversion defined
  const long long units = static_cast<long long>(std::fmax(-limit, std::fmin(limit, scaled)));
  const unsigned long long magnitude = units < 0 ? 0ull - static_cast<unsigned long long>(units)
                                                 : static_cast<unsigned long long>(units);
  std::string text = units < 0 ? "-" : "";
  if (!withDecimal) return text + std::to_string(magnitude);
  text += std::to_string(magnitude / 10);
  text += '.';
  text += static_cast<char>('0' + magnitude % 10);
  return text;
}

std::string DataFrame(std::string_view angleText) {
  static const char* const kHex = "0123456789ABCDEF";
  unsigned check = 0;
  for (const char c : angleText) check ^= static_cast<unsigned char>(c);
  std::string frame;
  frame.reserve(angleText.size() + 5);
  frame += kStx;
  frame += angleText;
  frame += kEtb;
  frame += kHex[(check >> 4) & 0x0F];
  frame += kHex[check & 0x0F];
  frame += kFrameEnd;
  return frame;
}

}  // namespace kelta::sim
