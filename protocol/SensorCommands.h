#pragma once
// Every byte string the console sends to the sensor, and the reply markers that end an
// exchange (searched case-sensitively anywhere in the last delivered line).

#include <cstdint>
#include <string>

namespace kelta {

inline constexpr const char* kCmdInfo = "#INFO\r\n";
inline constexpr const char* kCmdRead = "#READ\r\n";
inline constexpr const char* kCmdStop = "#STOP\r\n";
inline constexpr const char* kCmdData = "#DATA\r\n";
inline constexpr const char* kCmdSave = "#SAVE\r\n";

inline constexpr const char* kMarkerInfo = "V:";  // "#INFO"
inline constexpr const char* kMarkerValue = ".";  // "#READ", "#DATA", ID poll
inline constexpr const char* kMarkerOk = "OK";    // "#ID", "#CALI14", "#CALI15"

// "#ID" + the field's integer in plain decimal + CR LF. Throws EConvertError for non-integers.
std::string IdChangeCommand(const std::string& idFieldText);

// "#CALI14" + the field text exactly as typed + CR LF.
std::string NegativeRangeCommand(const std::string& rangeFieldText);

// "#CALI15" + text + CR LF; the exact text "3600" (a full turn) travels as "0".
std::string PositiveRangeCommand(const std::string& rangeFieldText);

// Operator text + CR LF (an empty text sends only CR LF).
std::string RawLineCommand(const std::string& text);

// The sensor's bus address byte: (0xB0 + id) mod 256, for any 32-bit id.
uint8_t PollAddress(int32_t id);

// The two-byte poll frame: address byte, ENQ; no terminator. Throws EConvertError when the
// field text is not an integer.
std::string IdPollFrame(const std::string& pollIdFieldText);

// What the status bar shows for a poll: the address in upper-case hexadecimal without leading
// zeros, " 0", "5", " - HEX" (ID 1: "B1 05 - HEX").
std::string IdPollStatusText(uint8_t address);

}  // namespace kelta
