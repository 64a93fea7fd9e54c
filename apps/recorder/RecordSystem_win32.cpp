// kelta-record on Windows: the console's control events, the computer's name, local time, the
// queue folder's lock and what holds a port. Ports are COM names only: a device path is a
// Linux thing.
#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

#include "apps/recorder/RecordSystem.h"
#include "apps/recorder/WideText_win32.h"

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

}  // namespace

std::wstring WideText(const std::string& text) {
  if (text.empty()) return {};
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

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
  const DWORD attributes = ::GetFileAttributesW(WideText(path).c_str());
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

bool PortHeldElsewhere(const std::string& path) {
  // A COM port opens only once: a second open without sharing is refused while it is held.
  const HANDLE h = ::CreateFileW(WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
  }
  ::CloseHandle(h);
  return false;
}

std::string DeviceBehind(const std::string& path) { return path; }

const char* DefaultStateFolderRule() { return "%LOCALAPPDATA%\\kelta-record\\NAME"; }

std::string DefaultStateFolder(const std::string& name) {
  // The user's own, not roaming, application data.
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD size = ::GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH + 1);
  if (size == 0 || size > MAX_PATH) {
    throw std::system_error(ERROR_ENVVAR_NOT_FOUND, std::system_category(),
                            "no LOCALAPPDATA folder to keep the queue in: give --queue-dir");
  }
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(size), nullptr, 0,
                                          nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(size), text.data(), bytes, nullptr,
                        nullptr);
  return text + "\\kelta-record\\" + name;
}

FolderLock::FolderLock(const std::string& folder) : handle_(0) {
  // Made with its missing parents when missing, refused when a link (StateFolder_win32.cpp).
  const std::string dir = StateFolder(folder).Path();
  const std::string path = dir + "owner.lock";
  const HANDLE h =
      ::CreateFileW(WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "cannot open " + path);
  }
  // The lock covers one byte far past the process id, which others must still read (a
  // Windows lock also keeps others from reading what it covers).
  OVERLAPPED at{};
  at.OffsetHigh = 1;
  if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
      ::CloseHandle(h);
      throw std::system_error(static_cast<int>(error), std::system_category(),
                              "cannot lock " + path);
    }
    long long pid = 0;
    for (int tries = 0; tries < 20 && pid <= 0; ++tries) {
      if (tries > 0) ::Sleep(10);
      char text[32] = {};
      DWORD read = 0;
      OVERLAPPED start{};
      if (::ReadFile(h, text, sizeof text - 1, &read, &start) && read > 0) {
        pid = std::atoll(text);
      }
    }
    ::CloseHandle(h);
    throw FolderInUse(dir + " is in use by another process" +
                          (pid > 0 ? " (process " + std::to_string(pid) + ")" : std::string()),
                      pid);
  }
  const std::string text = std::to_string(static_cast<long long>(::GetCurrentProcessId())) + "\r\n";
  DWORD written = 0;
  OVERLAPPED start{};
  if (::SetFilePointer(h, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !::SetEndOfFile(h) ||
      !::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, &start) ||
      written != text.size()) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(h);
    throw std::system_error(static_cast<int>(error), std::system_category(),
                            "cannot write " + path);
  }
  handle_ = reinterpret_cast<intptr_t>(h);
}

// Closing the handle frees the lock; the file stays (see the Linux side).
FolderLock::~FolderLock() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

}  // namespace kelta::record
