#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/ConsoleFolders.h"

namespace kelta {

namespace {

// The program's paths are UTF-8; the system's are UTF-16.
std::filesystem::path WidePath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

bool PathExists(const std::string& path) {
  return ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

char FolderSeparator() { return '\\'; }

bool MakeFolders(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(WidePath(dir), ec);
  return std::filesystem::is_directory(WidePath(dir), ec);
}

bool FolderWritable(const std::string& dir) {
  // Access lists decide in Program Files, not the read-only attribute: only a real file tells.
  const std::filesystem::path probe =
      WidePath(dir + ".kelta-probe-" + std::to_string(::GetCurrentProcessId()));
  const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

std::string UserDataFolder() {
  const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
  if (local == nullptr || local[0] == L'\0') return {};
  const std::u8string utf8 = (std::filesystem::path(local) / L"KELTA").u8string();
  return std::string(utf8.begin(), utf8.end()) + '\\';
}

}  // namespace kelta
