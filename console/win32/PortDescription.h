#pragma once
// What Windows knows about the device behind a COM port: the name its driver gives it and the
// maker, from the system's list of port devices (the Ports class in the device manager).

#include <string>

namespace kelta::win32 {

// devicePath: "\\.\COMn" or "COMn". "USB Serial Port, FTDI" style text; empty when the system
// lists no present device with that port name.
std::string DescribeComPort(const std::string& devicePath);

// The description without the " (COMn)" the friendly name repeats, and the maker after it
// unless it is the system's own placeholder or already in the name.
std::string PortDescriptionText(const std::string& friendlyName, const std::string& maker,
                                const std::string& portName);

}  // namespace kelta::win32
