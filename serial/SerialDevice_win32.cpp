// The serial device on Windows, through the system's communications calls: CreateFile on "\\.\COMn"
// for overlapped I/O without sharing, SetupComm, SetCommState with the port's own control block,
// SetCommTimeouts, SetCommMask and WaitCommEvent, ClearCommError, ReadFile/WriteFile with
// GetOverlappedResult, EscapeCommFunction, GetCommModemStatus, PurgeComm; errors are
// GetLastError codes with FormatMessage texts.
//
// Each overlapped operation has an event of its own (waitIo, writeIo, readIo), which the port
// resets before the operation starts rather than counting on the system to (an event left
// signalled by an earlier completion would end the next wait at once). The event thread's wake
// signal is never an operation's event, so no operation start can swallow a stop request that
// was raised just before it.
//
// Wine: a wait on a device without modem status lines (a pseudo-terminal) ends at once as
// cancelled, and a device that went away is seen only through its modem status
// (ERROR_NOT_READY); see FailedWait.
#include <windows.h>

#include <cstring>
#include <string>
#include <system_error>

#include "serial/SerialDevice.h"

namespace kelta::device {

namespace {

HANDLE H(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
NativeHandle N(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }
int LastError() { return static_cast<int>(::GetLastError()); }

// A manual-reset, unnamed, non-signalled event; nullptr when the system has none left.
HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

// An outstanding overlapped operation must be over before its record, buffer or event go:
// cancels it and waits for its completion. True (with the count) when it completed anyway.
bool Abandon(HANDLE device, OVERLAPPED& ov, DWORD& transferred) {
  ::CancelIoEx(device, &ov);
  return ::GetOverlappedResult(device, &ov, &transferred, TRUE) != 0;
}

// A wait that failed says little by itself: Wine ends every wait on a device without modem
// status lines (a pseudo-terminal) as cancelled, gone or not. Whether the device is still there
// is asked of its modem status, which clears nothing (ClearCommError would take the error flags
// the GUI thread is to report).
SerialDevice::EventWait FailedWait(HANDLE device) {
  DWORD status = 0;
  if (!::GetCommModemStatus(device, &status) && IsDeviceGone(LastError())) {
    return SerialDevice::EventWait::Gone;
  }
  return SerialDevice::EventWait::Failed;
}

}  // namespace

// --- Error codes

std::string ErrorText(int err) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(err), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  if (n == 0 || text == nullptr) return "Unknown error " + std::to_string(err);
  std::string out(text, n);
  ::LocalFree(text);
  return out;
}

bool IsNotFound(int err) { return err == ERROR_FILE_NOT_FOUND; }

bool IsNoSuchControl(int err) {
  return err == ERROR_INVALID_FUNCTION || err == ERROR_NOT_SUPPORTED;
}

bool IsDeviceGone(int err) {
  switch (err) {
    case ERROR_ACCESS_DENIED:  // what an unplugged USB adapter's handle answers
    case ERROR_NOT_READY:      // Wine, for a pseudo-terminal whose other side closed (EIO)
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_IO_DEVICE:
    case ERROR_BROKEN_PIPE:
    case ERROR_INVALID_HANDLE:
      return true;
    default:
      return false;
  }
}

int OutOfMemory() { return ERROR_NOT_ENOUGH_MEMORY; }

// --- Events and threads

WaitEvent::WaitEvent() : handle_(N(NewEvent())) {
  if (handle_ == 0) {
    throw std::system_error(LastError(), std::system_category(), "CreateEvent");
  }
}

WaitEvent::~WaitEvent() { ::CloseHandle(H(handle_)); }

void WaitEvent::Set() { ::SetEvent(H(handle_)); }

void WaitEvent::Reset() { ::ResetEvent(H(handle_)); }

WaitEvent::Result WaitEvent::Wait(int timeoutMs) {
  switch (::WaitForSingleObject(H(handle_), timeoutMs < 0 ? INFINITE : DWORD(timeoutMs))) {
    case WAIT_OBJECT_0:
      return Result::Signaled;
    case WAIT_TIMEOUT:
      return Result::Timeout;
    case WAIT_ABANDONED:
      return Result::Abandoned;
    default:
      return Result::Failed;
  }
}

int WaitFirst(WaitEvent& first, WaitEvent& second) {
  // With both set the lowest index is reported: the first wins.
  const HANDLE both[2] = {H(first.Native()), H(second.Native())};
  const DWORD r = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
  if (r == WAIT_OBJECT_0) return 0;
  if (r == WAIT_OBJECT_0 + 1) return 1;
  return -1;
}

NativeHandle AdoptCurrentThread(const char* name) {
  // Named where the system can (Windows 10 1607 and later, Wine); looked up, not linked, so the
  // programs still start where it is missing.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  if (const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
    if (const auto set = reinterpret_cast<SetDescription>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "SetThreadDescription")))) {
      const std::wstring wide(name, name + std::strlen(name));
      set(::GetCurrentThread(), wide.c_str());
    }
  }
  const HANDLE self = ::OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE,
                                   ::GetCurrentThreadId());
  return self ? N(self) : kNoHandle;
}

void ReleaseThread(NativeHandle thread) {
  if (thread != kNoHandle) ::CloseHandle(H(thread));
}

int BaseThreadPriority() { return THREAD_PRIORITY_NORMAL; }

void SetThreadPriority(NativeHandle thread, int, TThreadPriority priority) {
  if (thread == kNoHandle) return;
  int level = THREAD_PRIORITY_NORMAL;
  switch (priority) {
    case TThreadPriority::tpIdle:
      level = THREAD_PRIORITY_IDLE;
      break;
    case TThreadPriority::tpLowest:
      level = THREAD_PRIORITY_LOWEST;
      break;
    case TThreadPriority::tpLower:
      level = THREAD_PRIORITY_BELOW_NORMAL;
      break;
    case TThreadPriority::tpNormal:
      level = THREAD_PRIORITY_NORMAL;
      break;
    case TThreadPriority::tpHigher:
      level = THREAD_PRIORITY_ABOVE_NORMAL;
      break;
    case TThreadPriority::tpHighest:
      level = THREAD_PRIORITY_HIGHEST;
      break;
    case TThreadPriority::tpTimeCritical:
      level = THREAD_PRIORITY_TIME_CRITICAL;
      break;
  }
  ::SetThreadPriority(H(thread), level);
}

// --- The device

struct SerialDevice::State {
  HANDLE device = INVALID_HANDLE_VALUE;
  HANDLE waitIo = nullptr;   // event thread: WaitCommEvent's completion
  HANDLE writeIo = nullptr;  // write thread: WriteFile's completion
  HANDLE readIo = nullptr;   // GUI thread: ReadFile's completion
  HANDLE wake = nullptr;     // the port's stop signal for the event thread
};

SerialDevice::SerialDevice(std::unique_ptr<State> state) : state_(std::move(state)) {}

int SerialDevice::Open(const std::string& path, std::unique_ptr<SerialDevice>& device) {
  device.reset();
  const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  auto state = std::make_unique<State>();
  state->device = h;
  state->waitIo = NewEvent();
  state->writeIo = NewEvent();
  state->readIo = NewEvent();
  device.reset(new SerialDevice(std::move(state)));  // closes everything again on failure
  const State& s = *device->state_;
  if (!s.waitIo || !s.writeIo || !s.readIo) {
    const int err = LastError();
    device.reset();
    return err;
  }
  return 0;
}

SerialDevice::~SerialDevice() {
  State& s = *state_;
  // What the driver still holds is dropped with the port's own queue.
  ::PurgeComm(s.device, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  ::CloseHandle(s.device);
  for (HANDLE event : {s.waitIo, s.writeIo, s.readIo}) {
    if (event) ::CloseHandle(event);
  }
}

NativeHandle SerialDevice::Handle() const { return N(state_->device); }

int SerialDevice::ApplyDcb(const TVaDcb& block) {
  // The port's block is laid out as the system's, field for field and bit for bit.
  static_assert(sizeof(DCB) == sizeof(TVaDcb));
  DCB dcb;
  std::memcpy(&dcb, &block, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  return ::SetCommState(state_->device, &dcb) ? 0 : LastError();
}

int SerialDevice::SetupQueues(std::uint32_t inSize, std::uint32_t outSize) {
  return ::SetupComm(state_->device, inSize, outSize) ? 0 : LastError();
}

int SerialDevice::SetupTimeouts() {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;  // with the totals 0: return at once
  return ::SetCommTimeouts(state_->device, &timeouts) ? 0 : LastError();
}

int SerialDevice::SetupEventMask(std::uint32_t mask, WaitEvent& wake, std::uint32_t) {
  // The driver reports EV_RX80FULL itself, against its own queue size.
  state_->wake = H(wake.Native());
  return ::SetCommMask(state_->device, mask) ? 0 : LastError();
}

int SerialDevice::QueryStatus(std::uint32_t& errors, std::uint32_t& inQue, std::uint32_t* outQue) {
  errors = 0;
  inQue = 0;
  if (outQue) *outQue = 0;
  DWORD flags = 0;
  COMSTAT stat{};
  if (!::ClearCommError(state_->device, &flags, &stat)) {
    const int err = LastError();
    if (!IsDeviceGone(err)) return err;
    errors = CE_IOE;  // a device that went away has nothing waiting: that is its I/O error
    return 0;
  }
  errors = flags;
  inQue = stat.cbInQue;
  if (outQue) *outQue = stat.cbOutQue;
  return 0;
}

int SerialDevice::Read(void* data, std::uint32_t count, std::uint32_t timeoutMs,
                       std::uint32_t& got) {
  State& s = *state_;
  got = 0;
  OVERLAPPED ov{};
  ov.hEvent = s.readIo;
  ::ResetEvent(s.readIo);
  DWORD n = 0;
  if (::ReadFile(s.device, data, count, &n, &ov)) {
    got = n;
    return 0;
  }
  const int err = LastError();
  if (err != ERROR_IO_PENDING) return err;
  if (::WaitForSingleObject(s.readIo, timeoutMs) == WAIT_OBJECT_0) {
    if (!::GetOverlappedResult(s.device, &ov, &n, FALSE)) return LastError();
    got = n;
    return 0;
  }
  // Not complete in time: 0 bytes, and the read must not outlive data.
  if (Abandon(s.device, ov, n)) got = n;
  return 0;
}

int SerialDevice::SetModemLine(ModemLine line, bool on) {
  const DWORD function = line == ModemLine::Rts ? (on ? SETRTS : CLRRTS) : (on ? SETDTR : CLRDTR);
  return ::EscapeCommFunction(state_->device, function) ? 0 : LastError();
}

SerialDevice::EventWait SerialDevice::WaitEvents(std::uint32_t& bits) {
  State& s = *state_;
  bits = 0;
  OVERLAPPED ov{};
  ov.hEvent = s.waitIo;
  ::ResetEvent(s.waitIo);
  DWORD events = 0;
  if (::WaitCommEvent(s.device, &events, &ov)) {
    bits = events;
    return EventWait::Events;
  }
  if (LastError() != ERROR_IO_PENDING) return FailedWait(s.device);
  const HANDLE both[2] = {s.wake, s.waitIo};
  const DWORD r = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
  DWORD n = 0;
  if (r == WAIT_OBJECT_0 + 1) {
    if (::GetOverlappedResult(s.device, &ov, &n, FALSE)) {
      bits = events;
      return EventWait::Events;
    }
    return FailedWait(s.device);
  }
  // Woken (or the wait failed): the wait must be over before ov and events go.
  const bool completed = Abandon(s.device, ov, n);
  if (r != WAIT_OBJECT_0) return EventWait::Broken;
  if (completed) bits = events;
  return completed ? EventWait::Events : EventWait::Woken;
}

SerialDevice::WriteResult SerialDevice::Write(const std::uint8_t* data, std::uint32_t count,
                                              WaitEvent& close, std::uint32_t& written, int& err) {
  State& s = *state_;
  written = 0;
  err = 0;
  OVERLAPPED ov{};
  ov.hEvent = s.writeIo;
  ::ResetEvent(s.writeIo);
  DWORD n = 0;
  if (::WriteFile(s.device, data, count, &n, &ov)) {
    written = n;
    return WriteResult::Written;
  }
  err = LastError();
  if (err != ERROR_IO_PENDING) return WriteResult::Failed;
  err = 0;
  const HANDLE both[2] = {H(close.Native()), s.writeIo};
  const DWORD r = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
  if (r == WAIT_OBJECT_0 + 1) {
    if (::GetOverlappedResult(s.device, &ov, &n, FALSE)) {
      written = n;
      return WriteResult::Written;
    }
    err = LastError();
    return WriteResult::Failed;
  }
  // Closing (or the wait failed): the write must be over before the queue's bytes go.
  Abandon(s.device, ov, n);
  if (r == WAIT_OBJECT_0) return WriteResult::Closing;
  err = LastError();
  return WriteResult::Failed;
}

}  // namespace kelta::device
