// The executable's folder on Windows: the module path the system reports, in UTF-16, so a
// folder name outside the ANSI code page survives; handed on as UTF-8 with a trailing '\'.
#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "base/ExecutableDir.h"

namespace kelta {

std::string ExecutableDir() {
  // Long paths can exceed MAX_PATH; the call truncates (and says so) when the buffer is short.
  std::wstring module(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(module.size());
    const DWORD n = ::GetModuleFileNameW(nullptr, module.data(), size);
    if (n == 0)
      throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                              "GetModuleFileNameW");
    if (n < size) {
      module.resize(n);
      break;
    }
    if (size >= 32768)
      throw std::system_error(ERROR_INSUFFICIENT_BUFFER, std::system_category(),
                              "GetModuleFileNameW");
    module.resize(size * 2);
  }
  const std::u8string folder = std::filesystem::path(module).parent_path().u8string();
  return std::string(folder.begin(), folder.end()) + '\\';
}

}  // namespace kelta
