#pragma once
// The device control block as terminal settings (termios2), for SerialDevice_linux.cpp.

#include "serial/VaCommTypes.h"

namespace kelta::device {

// Puts the block into the terminal settings of fd (raw mode, speed, character size, parity,
// stop bits, flow control, XON/XOFF characters) and the DTR/RTS states it fixes. 0 or errno.
int ApplyTermios(int fd, const TVaDcb& dcb);

}  // namespace kelta::device
