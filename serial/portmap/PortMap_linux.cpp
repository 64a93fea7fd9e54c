// The COM-name map on Linux: ports/comN links beside the executable, else the default ranges
// of /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*.
#include "serial/portmap/PortMap.h"

#include <dirent.h>
#include <sys/stat.h>

#include <charconv>
#include <map>

namespace kelta {

namespace {

constexpr long long kPortsPerRange = 32;

std::string LinkPath(long long portNum, const std::string& exeDir) {
  return exeDir + "ports/com" + std::to_string(portNum);
}

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string DefaultPath(long long portNum, const std::string& devDir) {
  static const char* const kRanges[] = {"ttyS", "ttyUSB", "ttyACM"};
  if (portNum < 1) return {};
  const long long range = (portNum - 1) / kPortsPerRange;
  if (range >= 3) return {};
  return devDir + kRanges[range] + std::to_string((portNum - 1) % kPortsPerRange);
}

// "com<N>" with N written without leading zeros, as PortDevicePath would name it.
bool LinkNumber(const char* name, long long& number) {
  if (name[0] != 'c' || name[1] != 'o' || name[2] != 'm') return false;
  const char* digits = name + 3;
  if (*digits < '1' || *digits > '9') return false;
  const char* end = digits;
  while (*end) ++end;
  const auto result = std::from_chars(digits, end, number);
  return result.ec == std::errc() && result.ptr == end;
}

}  // namespace

std::string PortDevicePath(long long portNum, const std::string& exeDir,
                           const std::string& devDir) {
  if (portNum < 1) return {};
  std::string link = LinkPath(portNum, exeDir);
  if (EntryExists(link)) return link;
  return DefaultPath(portNum, devDir);
}

long long FirstFreePortNumber(const std::string& exeDir, const std::string& devDir,
                              long long maxNumber) {
  for (long long n = 1; n <= maxNumber; ++n) {
    if (EntryExists(LinkPath(n, exeDir))) continue;
    const std::string device = DefaultPath(n, devDir);
    struct stat st;
    if (!device.empty() && stat(device.c_str(), &st) == 0) continue;
    return n;
  }
  return 0;
}

std::vector<PortCandidate> PortCandidates(const std::string& exeDir, const std::string& devDir) {
  std::map<long long, std::string> byNumber;
  for (long long n = 1; n <= 3 * kPortsPerRange; ++n) byNumber[n] = DefaultPath(n, devDir);
  const std::string portsDir = exeDir + "ports";
  if (DIR* dir = opendir(portsDir.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      long long n = 0;
      if (LinkNumber(entry->d_name, n)) byNumber[n] = LinkPath(n, exeDir);
    }
    closedir(dir);
  }
  std::vector<PortCandidate> out;
  out.reserve(byNumber.size());
  for (auto& [n, path] : byNumber) out.push_back({n, std::move(path)});
  return out;
}

}  // namespace kelta
