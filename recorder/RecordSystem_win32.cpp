// kelta-record on Windows: the console's control events, the computer's name, local time.
// Ports are COM names only: a device path is a Linux thing.
#include <windows.h>

#include <stdexcept>

#include "recorder/RecordSystem.h"

namespace kelta::record {

namespace {

std::atomic<std::atomic<bool>*> stopTarget{nullptr};
// Set when the program has flushed everything; never closed, as a handler may still wait on it.
HANDLE flushed = nullptr;

// Runs on a thread the system starts for the event.
BOOL WINAPI ControlHandler(DWORD event) {
  std::atomic<bool>* stop = stopTarget.load();
  if (stop == nullptr) return FALSE;
  *stop = true;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // The process ends when this returns: it waits for the files and the port to be closed
    // (the system itself allows a few seconds).
    ::WaitForSingleObject(flushed, INFINITE);
  }
  return TRUE;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

}  // namespace

struct StopRequests::State {};

StopRequests::StopRequests(std::atomic<bool>& stop) : state_(nullptr) {
  if (flushed == nullptr) flushed = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::ResetEvent(flushed);
  stopTarget = &stop;
  ::SetConsoleCtrlHandler(ControlHandler, TRUE);
}

StopRequests::~StopRequests() {
  ::SetConsoleCtrlHandler(ControlHandler, FALSE);
  stopTarget = nullptr;
  ::SetEvent(flushed);
}

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &size) || size == 0) return "kelta";
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size), text.data(), bytes, nullptr,
                        nullptr);
  return text;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::tm LocalTime(std::time_t time) {
  std::tm t{};
  localtime_s(&t, &time);
  return t;
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

std::string LinkDevicePath(const std::string& device) {
  throw std::invalid_argument(device +
                              ": not a port name; on Windows the port is COMn (device paths "
                              "such as /dev/ttyUSB0 are Linux ones)");
}

void RemoveDeviceLink(const std::string&) {}

bool DevicePresent(const std::string&) { return true; }

}  // namespace kelta::record
