#pragma once
// The line every KELTA sensor speaks, set on a port before it opens: 9600 baud and no flow
// control of any kind (the sensor has no handshake lines). The console and the recorder both
// take it from here, so a change to the line reaches both.

namespace kelta {

class TVaCustomComm;

// The line's rate, for timing what travels on it.
inline constexpr int kSensorLineBaud = 9600;

void SetSensorLine(TVaCustomComm& port);

}  // namespace kelta
