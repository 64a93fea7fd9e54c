#include "console/form/PortAccess.h"

namespace kelta {

namespace {

// The group's read and write bits (S_IRGRP | S_IWGRP), spelt out: Windows has no <sys/stat.h>
// names for them.
constexpr unsigned kGroupReadWrite = 060;

std::string Octal(unsigned mode) {
  std::string text;
  for (int shift = 6; shift >= 0; shift -= 3)
    text += static_cast<char>('0' + ((mode >> shift) & 7));
  return text;
}

}  // namespace

std::string PortAccessAdvice(const std::string& group) {
  if (group.empty()) {
    return "You have no permission to open this port. Ask the administrator for read and write "
           "access to it.";
  }
  return "You have no permission to open this port: it belongs to the group \"" + group +
         "\", and you are not a member. Join the group with\n    sudo usermod -aG " + group +
         " $USER\nthen log out and in again (or restart) so that the membership takes effect.";
}

std::string PortAccessAdvice(const PortDeviceAccess& access) {
  if ((access.mode & kGroupReadWrite) == kGroupReadWrite) return PortAccessAdvice(access.group);
  // A group that may not read and write the device: joining it gives nothing.
  const std::string owner = access.owner.empty() ? "its owner" : "\"" + access.owner + "\"";
  const std::string group =
      access.group.empty() ? "its group" : "its group \"" + access.group + "\"";
  return "You have no permission to open this port, and no group membership gives it: only " +
         owner + " may read and write the device (permissions " + Octal(access.mode) + "), " +
         group +
         " may not. Ask the administrator for a udev rule that gives the device a group "
         "with read and write access (for example GROUP=\"dialout\", MODE=\"0660\"), then join "
         "that group; or ask the device's owner" +
         (access.owner.empty() ? std::string() : " (\"" + access.owner + "\")") + " for access.";
}

std::string PortAccessHint(const std::string& path) {
  if (path.empty() || !PortAccessDenied(path)) return {};
  const std::optional<PortDeviceAccess> access = PortDeviceAccessOf(path);
  return access ? PortAccessAdvice(*access) : PortAccessAdvice(std::string());
}

}  // namespace kelta
