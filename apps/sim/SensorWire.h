#pragma once
// Bytes the simulated sensor puts on the line: the information reply, data frames and the
// short replies to configuration commands. Pure functions, safe on any thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "apps/sim/SensorSettings.h"

namespace kelta::sim {

inline constexpr char kStx = 0x02;
inline constexpr char kEnq = 0x05;
inline constexpr char kEtb = 0x17;
inline constexpr char kCr = 0x0D;
inline constexpr char kLf = 0x0A;
inline constexpr char kFrameEnd = '$';

// The console drops the last character of the line from coefficient B, so the reply ends
// with this one after the value; the console's grammar has no spaces, and a comma would be
// read as one more item boundary by other readers.
inline constexpr char kInfoLineEnd = ';';

inline constexpr std::string_view kReplyOk = "OK\r";
inline constexpr std::string_view kReplyRejected = "NG\r";

// The bus address byte of an ID: 0xB0 + id, low 8 bits.
uint8_t AddressByte(int id);

// "V:1.00,I:B1,DM:2,C:1,Z:0,N:1800,P:1800,G:1000,O:0,0:100,...,9:109,CA:110,CB:111;" CR.
// Tag lengths follow the console's grammar (3 for items 3, 20 and 21, 2 for the rest).
std::string InfoLine(const SensorSettings& settings);

// The angle rounded to tenths (ties to even) as "-12.3" / "0.0" / "359.9", or rounded to
// whole degrees without a decimal point. Never "-0.0"; independent of the process locale.
std::string AngleText(double degrees, bool withDecimal);

// STX, text, ETB, two check characters, "$". The check characters are the XOR of the text
// bytes in upper-case hexadecimal: the console removes them unread, so any two characters
// would do as long as none is CR, LF, STX, ETB or "$".
std::string DataFrame(std::string_view angleText);

}  // namespace kelta::sim
