#include "console/form/PortAccess.h"

namespace kelta {

// Windows has no device groups to join: a port that cannot be opened is held by another
// program, and the port's own message says so.
bool PortAccessDenied(const std::string&) { return false; }

// "\\.\COMn" names no file to look at: opening it is the only test.
bool PortDevicePresent(const std::string&) { return true; }

// A COM port has no owner and group bits; its access is whether another program holds it.
std::optional<PortDeviceAccess> PortDeviceAccessOf(const std::string&) { return std::nullopt; }

std::string PortDeviceGroup(const std::string&) { return {}; }

}  // namespace kelta
