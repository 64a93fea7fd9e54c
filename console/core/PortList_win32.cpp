// The port list on Windows: the COM ports the system has, each kept only when it can be opened
// exclusively right now (the way the port object opens it: read and write, no sharing,
// overlapped). The probe closes the port at once.
#include <windows.h>

#include "console/core/ConsoleErrors.h"
#include "console/core/PortList.h"
#include "console/core/StrToInt.h"
#include "serial/portmap/PortMap.h"

namespace kelta {

namespace {

bool CanOpenExclusively(const std::string& path) {
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

}  // namespace

PortRoots DefaultPortRoots() { return PortRoots{ExecutableDir(), ""}; }

void FillPortList(std::vector<std::string>& list, bool onlyAvailable, const PortRoots& roots) {
  std::vector<std::string> names;
  for (const PortCandidate& port : PortCandidates(roots.exeDir, roots.devDir)) {
    if (onlyAvailable && !CanOpenExclusively(port.devicePath)) continue;
    names.push_back("COM" + std::to_string(port.number));
  }
  list = std::move(names);
}

bool CanOpenPort(const std::string& name, const PortRoots& roots) {
  long long number;
  try {
    number = StrToInt(name.size() > 3 ? name.substr(3) : std::string());
  } catch (const EConvertError&) {
    return false;
  }
  const std::string path = PortDevicePath(number, roots.exeDir, roots.devDir);
  return !path.empty() && CanOpenExclusively(path);
}

PortWhere PortLocation(const std::string& name, const PortRoots& roots) {
  PortWhere where;
  try {
    where.device = PortDevicePath(StrToInt(name.size() > 3 ? name.substr(3) : std::string()),
                                  roots.exeDir, roots.devDir);
  } catch (const EConvertError&) {
  }
  return where;
}

}  // namespace kelta
