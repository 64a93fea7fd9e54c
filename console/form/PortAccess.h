#pragma once
// Why a port cannot be opened, in words the operator can act on: a device the user has no
// permission for names the group that owns it and how to join it, or, when its group may not
// read and write it either, that no group helps and what does. The look-up of the device's
// permissions, owner and group is the system's (PortAccess_linux.cpp, PortAccess_win32.cpp);
// the wording is here (PortAccess.cpp). Safe on any thread.

#include <optional>
#include <string>

namespace kelta {

// True when the user may not open `path` for reading and writing because of its permissions
// (the link followed); false when it may, or when it fails for another reason (gone, busy).
bool PortAccessDenied(const std::string& path);

// Whether a device is there to be opened at `path` (the link followed). A lost port is tried
// again only then, so that a missing one is not opened (and refused) twice a second.
bool PortDevicePresent(const std::string& path);

// A device's permission bits (as stat gives them) and the names of its owner and group
// (empty when unknown).
struct PortDeviceAccess {
  unsigned mode = 0;
  std::string owner;
  std::string group;
};

// The permissions, owner and group of `path` (the link followed); nothing when they cannot be
// looked at (gone, or a system without them).
std::optional<PortDeviceAccess> PortDeviceAccessOf(const std::string& path);

// The name of the group that owns `path` (the link followed); empty when unknown.
std::string PortDeviceGroup(const std::string& path);

// The advice for a device the user may not open: join `group` (empty: unknown, then ask for
// access instead), then log in again.
std::string PortAccessAdvice(const std::string& group);

// The advice for a device the user may not open, from its permissions: when its group may read
// and write it, join the group (as above); otherwise joining that group gives no access, and
// the advice says so and names what helps (a udev rule giving the device a group, or its
// owner).
std::string PortAccessAdvice(const PortDeviceAccess& access);

// PortAccessAdvice for `path`'s permissions when PortAccessDenied(path); empty otherwise.
std::string PortAccessHint(const std::string& path);

}  // namespace kelta
