#pragma once
// What the port list asks of the system, one file per system (PortList_linux.cpp,
// PortList_win32.cpp); the list itself is written once in PortList.cpp.

#include <string>

namespace kelta::port_probe {

// The device a port name resolves to can be a serial port at all (Linux: a terminal; Windows:
// the system named it).
bool IsPortDevice(const std::string& path);

// The device opens for reading and writing without anyone else holding it; closed at once.
bool CanOpenExclusively(const std::string& path);

// What the port's "ports/comN" link says, as written; empty without a link.
std::string LinkTarget(const std::string& exeDir, long long number);

}  // namespace kelta::port_probe
