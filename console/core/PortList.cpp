#include "console/core/PortList.h"

#include <optional>

#include "base/Errors.h"
#include "console/core/PortProbe.h"
#include "protocol/StrToInt.h"
#include "serial/portmap/PortMap.h"

namespace kelta {

namespace {

// The number of "COMn"; the first three characters are skipped unchecked.
std::optional<long long> PortNumber(const std::string& name) {
  try {
    return StrToInt(name.size() > 3 ? name.substr(3) : std::string());
  } catch (const EConvertError&) {
    return std::nullopt;
  }
}

}  // namespace

void FillPortList(std::vector<std::string>& list, bool onlyAvailable, const PortRoots& roots) {
  std::vector<std::string> names;
  for (const PortCandidate& port : PortCandidates(roots.exeDir, roots.devDir)) {
    if (!port_probe::IsPortDevice(port.devicePath)) continue;
    if (onlyAvailable && !port_probe::CanOpenExclusively(port.devicePath)) continue;
    names.push_back("COM" + std::to_string(port.number));
  }
  list = std::move(names);
}

bool CanOpenPort(const std::string& name, const PortRoots& roots) {
  const std::optional<long long> number = PortNumber(name);
  if (!number) return false;
  const std::string path = PortDevicePath(*number, roots.exeDir, roots.devDir);
  return port_probe::IsPortDevice(path) && port_probe::CanOpenExclusively(path);
}

PortWhere PortLocation(const std::string& name, const PortRoots& roots) {
  PortWhere where;
  const std::optional<long long> number = PortNumber(name);
  if (!number) return where;
  where.device = PortDevicePath(*number, roots.exeDir, roots.devDir);
  where.target = port_probe::LinkTarget(roots.exeDir, *number);
  return where;
}

}  // namespace kelta
