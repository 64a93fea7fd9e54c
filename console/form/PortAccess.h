#pragma once
// Why a port cannot be opened, in words the operator can act on: a device the user has no
// permission for names the group that owns it and how to join it. The look-up of the device's
// permissions and group is the system's (PortAccess_linux.cpp, PortAccess_win32.cpp); the
// wording is here (PortAccess.cpp). Safe on any thread.

#include <string>

namespace kelta {

// True when the user may not open `path` for reading and writing because of its permissions
// (the link followed); false when it may, or when it fails for another reason (gone, busy).
bool PortAccessDenied(const std::string& path);

// Whether a device is there to be opened at `path` (the link followed). A lost port is tried
// again only then, so that a missing one is not opened (and refused) twice a second.
bool PortDevicePresent(const std::string& path);

// The name of the group that owns `path` (the link followed); empty when unknown.
std::string PortDeviceGroup(const std::string& path);

// The advice for a device the user may not open: join `group` (empty: unknown, then ask for
// access instead), then log in again.
std::string PortAccessAdvice(const std::string& group);

// PortAccessAdvice for `path`'s group when PortAccessDenied(path); empty otherwise.
std::string PortAccessHint(const std::string& path);

}  // namespace kelta
