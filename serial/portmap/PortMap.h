#pragma once
// Where a "COMn" port lives on this machine. Port names stay "COMn" everywhere the user and the
// settings file see them; only the path that is opened comes from here. Pure functions of the
// file system (on Windows, of the system's port names), safe on any thread. One file per system:
// PortMap_linux.cpp, PortMap_win32.cpp.

#include <string>
#include <vector>

#include "base/ExecutableDir.h"

namespace kelta {

// Device path for port number portNum:
//   exeDir + "ports/com<N>" when that entry exists (even a dangling link: it is the user's
//   choice for that number, and opening it reports "not found"); otherwise
//   COM1-32 -> devDir "ttyS0-31", COM33-64 -> "ttyUSB0-31", COM65-96 -> "ttyACM0-31".
// Empty for numbers below 1 and for numbers without a link above 96.
// exeDir and devDir end with '/' (or are empty, meaning the current folder).
// Windows: "\\.\COM<N>" for every number from 1 (exeDir and devDir are not used there).
std::string PortDevicePath(long long portNum, const std::string& exeDir,
                           const std::string& devDir = "/dev/");

struct PortCandidate {
  long long number;        // n of "COMn"
  std::string devicePath;  // as PortDevicePath gives it; may not exist
};

// The first port number from 1 to maxNumber that is free for a new link: no entry in exeDir
// "ports/" (not even a dangling link) and no device at its default path. 0 when all are taken.
// kelta-sim --free-com prints it, so tools/run.sh links a device where the console will find it.
// Windows: the first number the system has no COM port for.
long long FirstFreePortNumber(const std::string& exeDir, const std::string& devDir = "/dev/",
                              long long maxNumber = 255);

// Every port number that has a device path (links in exeDir "ports/" plus 1-96), ascending,
// each once. Whether the device exists is the caller's test.
// Windows: the COM ports the system has (registered by the serial drivers under
// HKLM "HARDWARE\DEVICEMAP\SERIALCOMM" or among the DOS device names), ascending, each once.
std::vector<PortCandidate> PortCandidates(const std::string& exeDir,
                                          const std::string& devDir = "/dev/");

}  // namespace kelta
