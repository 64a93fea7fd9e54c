// The port list on Windows: the COM ports the system has, each kept only when it can be opened
// exclusively right now (the way the port object opens it: read and write, no sharing,
// overlapped). The probe closes the port at once.
#include <windows.h>

#include "console/core/PortList.h"
#include "console/core/PortProbe.h"
#include "serial/portmap/PortMap.h"

namespace kelta {

namespace port_probe {

bool IsPortDevice(const std::string& path) { return !path.empty(); }

bool CanOpenExclusively(const std::string& path) {
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

// Windows names its ports itself: there are no links.
std::string LinkTarget(const std::string&, long long) { return {}; }

}  // namespace port_probe

PortRoots DefaultPortRoots() { return PortRoots{ExecutableDir(), ""}; }

}  // namespace kelta
