#pragma once
// The serial ports offered in the port combo box. GUI thread only.

#include <string>
#include <vector>

namespace kelta {

// Where port names are resolved: the executable's folder (for its "ports/comN" links) and
// the device folder of the default names. Tests point both at temporary folders. Windows uses
// neither: its port names are the system's own.
struct PortRoots {
  std::string exeDir;  // ends with '/'
  std::string devDir = "/dev/";
};

// ExecutableDir() and "/dev/" (Windows: and "").
PortRoots DefaultPortRoots();

// Replaces the list with "COMn" for every port whose device is a terminal, in ascending n
// (what a name points at is never opened unless it is a character device, so a FIFO cannot
// block). A "/dev/ttyS*" device counts only when it is a real UART (its serial type is known).
// With onlyAvailable, a port is kept only when CanOpenPort accepts it.
// Windows: "COMn" for every COM port the system has (PortCandidates), in ascending n.
void FillPortList(std::vector<std::string>& list, bool onlyAvailable, const PortRoots& roots);

// True when the port named "COMn" (the first three characters are not checked) is a terminal
// and can be opened exclusively right now: nobody holds its lock (flock) and it is not in
// exclusive mode (TIOCEXCL). The probe closes the device at once.
// Windows: when the port opens for reading and writing without sharing.
bool CanOpenPort(const std::string& name, const PortRoots& roots);

// Where the port named "COMn" leads, for telling ports apart in the list: target is what its
// "ports/comN" link says (as written, e.g. "/dev/pts/3" or a "/dev/serial/by-id/" name; empty
// when the port has no link), device is the path it opens (empty for a name without a number).
// Windows: no links; device is the system's name.
struct PortWhere {
  std::string target;
  std::string device;
};
PortWhere PortLocation(const std::string& name, const PortRoots& roots);

}  // namespace kelta
