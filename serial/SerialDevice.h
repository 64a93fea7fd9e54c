#pragma once
// The operating-system side of the serial port: every system call the port object, its worker
// threads and their synchronisation objects make lives behind this interface, in one file per
// system (SerialDevice_linux.cpp with Termios_linux.cpp, SerialDevice_win32.cpp). Nothing here
// includes a system header, so the port object and its threads see none.
//
// Error codes are the system's own (errno on Linux, GetLastError on Windows): 0 is success.
// Thread-safety is that of the system calls; keeping a device alive while a worker uses it is
// the caller's job (DeviceGate). One thread at a time per role: the event wait belongs to
// the event thread, Write to the write thread, everything else to the GUI thread.

#include <cstdint>
#include <memory>
#include <string>

#include "serial/VaCommTypes.h"

namespace kelta::device {

// A descriptor on Linux, a HANDLE on Windows; kNoHandle when there is none.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

// --- Error codes

// The system's text for err (untrimmed).
std::string ErrorText(int err);
// The device does not exist (ENOENT, ERROR_FILE_NOT_FOUND).
bool IsNotFound(int err);
// "This device has no such control" rather than a failure (a pseudo-terminal has no modem
// lines).
bool IsNoSuchControl(int err);
// The device went away (unplugged, other side of a pseudo-terminal closed).
bool IsDeviceGone(int err);
// The code of "not enough memory".
int OutOfMemory();

// --- Events and threads

// A manual-reset event: stays set until Reset. Safe from any thread.
class WaitEvent {
 public:
  enum class Result { Signaled, Timeout, Abandoned, Failed };

  // Throws std::system_error when the system has none left.
  WaitEvent();
  ~WaitEvent();
  WaitEvent(const WaitEvent&) = delete;
  WaitEvent& operator=(const WaitEvent&) = delete;

  void Set();
  void Reset();
  // timeoutMs < 0 waits without limit.
  Result Wait(int timeoutMs);
  NativeHandle Native() const { return handle_; }

 private:
  NativeHandle handle_;
};

// Waits without time limit for the first of two events: 0 or 1 (0 when both are set), -1 when
// the wait itself failed.
int WaitFirst(WaitEvent& first, WaitEvent& second);

// The calling thread, given a name (at most 15 characters, shown by the system's tools), as a
// reference that SetThreadPriority may use from another thread until ReleaseThread.
NativeHandle AdoptCurrentThread(const char* name);
void ReleaseThread(NativeHandle thread);
// The priority new threads start from (the process's nice value on Linux).
int BaseThreadPriority();
// A raised priority may need rights the process lacks; then the thread keeps its priority,
// which is not an error for the port.
void SetThreadPriority(NativeHandle thread, int base, TThreadPriority priority);

// --- Line error counters (drivers that keep them: TIOCGICOUNT)

struct LineCounters {
  std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};
// Error flags (CE_*) for what the counters grew by from before to after.
inline std::uint32_t CounterErrors(const LineCounters& before, const LineCounters& after) {
  std::uint32_t flags = 0;
  if (after.frame != before.frame) flags |= CE_FRAME;
  if (after.overrun != before.overrun) flags |= CE_OVERRUN;
  if (after.parity != before.parity) flags |= CE_RXPARITY;
  if (after.brk != before.brk) flags |= CE_BREAK;
  if (after.bufOverrun != before.bufOverrun) flags |= CE_RXOVER;
  return flags;
}

// --- The device

enum class ModemLine { Rts, Dtr };

class SerialDevice {
 public:
  // Opens path for reading and writing, for overlapped (non-blocking) use, exclusively: a port
  // held by another open is refused. 0 and the device, or the error and nothing open.
  static int Open(const std::string& path, std::unique_ptr<SerialDevice>& device);
  // Gives the exclusive hold back and closes. Only when no worker is inside a call.
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  NativeHandle Handle() const;

  // --- GUI thread
  // Puts the device control block into the device (line settings, flow control, the DTR/RTS
  // states it fixes).
  int ApplyDcb(const TVaDcb& dcb);
  // The device's queue sizes (where it has such sizes).
  int SetupQueues(std::uint32_t inSize, std::uint32_t outSize);
  // Reads return at once with what has been received, writes have no time limit.
  int SetupTimeouts();
  // What the event thread waits for: the line events of mask, and wake, which ends a wait
  // (the port's stop signal). rx80Mark: the input count that is "80 % full".
  int SetupEventMask(std::uint32_t mask, WaitEvent& wake, std::uint32_t rx80Mark);
  // Error flags (CE_*) since the last query, which clears them, and the counts of the input
  // and (when outQue is given) output queues. A device that went away gives CE_IOE.
  int QueryStatus(std::uint32_t& errors, std::uint32_t& inQue, std::uint32_t* outQue);
  // Reads up to count bytes already received; waits at most timeoutMs for the read to
  // complete (got 0 then).
  int Read(void* data, std::uint32_t count, std::uint32_t timeoutMs, std::uint32_t& got);
  int SetModemLine(ModemLine line, bool on);

  // --- Event thread
  enum class EventWait {
    Events,  // bits holds line events (maybe none of the mask: wait again)
    Woken,   // the wake signal ended the wait
    Gone,    // the device went away: waiting again would only spin
    Failed,  // the wait failed; waiting again may work
    Broken,  // the wait itself cannot work any more
  };
  EventWait WaitEvents(std::uint32_t& bits);

  // --- Write thread
  enum class WriteResult {
    Written,  // written bytes (at least one) left for the line
    Closing,  // close was set while the line had no room
    Failed,   // err says why
  };
  // Writes from data[0, count), waiting for room on the line until close is set.
  WriteResult Write(const std::uint8_t* data, std::uint32_t count, WaitEvent& close,
                    std::uint32_t& written, int& err);

  struct State;  // the system's side

 private:
  explicit SerialDevice(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kelta::device
