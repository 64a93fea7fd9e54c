#include "console/form/PortAccess.h"

namespace kelta {

std::string PortAccessAdvice(const std::string& group) {
  if (group.empty()) {
    return "You have no permission to open this port. Ask the administrator for read and write "
           "access to it.";
  }
  return "You have no permission to open this port: it belongs to the group \"" + group +
         "\", and you are not a member. Join the group with\n    sudo usermod -aG " + group +
         " $USER\nthen log out and in again (or restart) so that the membership takes effect.";
}

std::string PortAccessHint(const std::string& path) {
  if (path.empty() || !PortAccessDenied(path)) return {};
  return PortAccessAdvice(PortDeviceGroup(path));
}

}  // namespace kelta
