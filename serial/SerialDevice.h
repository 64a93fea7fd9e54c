#pragma once
// The operating-system side of a serial device, one small function per call the port makes.
// Each returns 0 or the errno of the failing call, captured right there. Thread-safe as far as
// the kernel is; keeping the descriptor valid is the caller's job (see TVaDeviceGate).

#include <cstdint>
#include <string>

#include "serial/VaCommTypes.h"

namespace kelta::device {

// Opens path for reading and writing, non-blocking, without becoming the controlling terminal,
// and takes it exclusively (flock, then TIOCEXCL where the device is a terminal), so a port
// held by another open is refused. On failure fd is -1 and nothing stays open.
int OpenExclusive(const std::string& path, int& fd);

// Gives the exclusive hold back and closes.
void Close(int fd);

// Puts the device control block into the terminal settings (raw mode, speed, character size,
// parity, stop bits, flow control, XON/XOFF characters) and the DTR/RTS states it fixes.
int ApplyDcb(int fd, const TVaDcb& dcb);

int InputCount(int fd, std::uint32_t& count);
int OutputCount(int fd, std::uint32_t& count);

// Line error counters of the driver (TIOCGICOUNT). ENOTTY/EINVAL: the device keeps none.
struct LineCounters {
  std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};
int ReadLineCounters(int fd, LineCounters& counters);
// Error flags (CE_*) for what the counters grew by from before to after.
std::uint32_t CounterErrors(const LineCounters& before, const LineCounters& after);

enum class ModemLine { Rts, Dtr };
int SetModemLine(int fd, ModemLine line, bool on);

// errno values that mean "this device has no such control" rather than a failure.
bool IsNoSuchControl(int err);
// errno values of a device that went away (unplugged, other side of a pseudo-terminal closed).
bool IsDeviceGone(int err);

}  // namespace kelta::device
