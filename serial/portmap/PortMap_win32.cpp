// The COM-name map on Windows: the names are the system's own. A port is "\\.\COMn"; the ports
// there are the COM names the serial drivers registered (HKLM "HARDWARE\DEVICEMAP\SERIALCOMM")
// and the COM names among the DOS devices (ports made by other means, such as Wine's
// dosdevices links, appear only there).
#include <windows.h>

#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include "serial/portmap/PortMap.h"

namespace kelta {

namespace {

constexpr long long kMaxPortNumber = 255;

// "COM<N>" in any letter case, N without leading zeros, 1..kMaxPortNumber; 0 otherwise.
long long ComNumber(const std::wstring& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  if (std::towupper(name[0]) != L'C' || std::towupper(name[1]) != L'O' ||
      std::towupper(name[2]) != L'M' || name[3] == L'0') {
    return 0;
  }
  long long n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9') return 0;
    n = n * 10 + (name[i] - L'0');
  }
  return n <= kMaxPortNumber ? n : 0;
}

void AddRegisteredPorts(std::set<long long>& numbers) {
  HKEY key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return;  // no serial driver registered anything
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameSize = 256;
    wchar_t data[64] = {};
    DWORD dataSize = sizeof data - sizeof(wchar_t);  // room for a terminating zero
    DWORD type = 0;
    const LONG r = ::RegEnumValueW(key, index, name, &nameSize, nullptr, &type,
                                   reinterpret_cast<BYTE*>(data), &dataSize);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;  // ERROR_MORE_DATA: not a COM name
    std::wstring value(data, dataSize / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    if (const long long n = ComNumber(value)) numbers.insert(n);
  }
  ::RegCloseKey(key);
}

void AddDosDevicePorts(std::set<long long>& numbers) {
  std::vector<wchar_t> names(1 << 16);
  for (;;) {
    const DWORD n = ::QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
    if (n != 0) {
      names.resize(n);
      break;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= (1u << 22)) return;
    names.resize(names.size() * 2);
  }
  // A list of zero-terminated names, ended by an empty one.
  std::size_t at = 0;
  while (at < names.size() && names[at] != L'\0') {
    std::size_t end = at;
    while (end < names.size() && names[end] != L'\0') ++end;
    if (const long long n = ComNumber(std::wstring(names.data() + at, end - at))) {
      numbers.insert(n);
    }
    at = end + 1;
  }
}

std::set<long long> SystemPorts() {
  std::set<long long> numbers;
  AddRegisteredPorts(numbers);
  AddDosDevicePorts(numbers);
  return numbers;
}

}  // namespace

std::string PortDevicePath(long long portNum, const std::string&, const std::string&) {
  if (portNum < 1) return {};
  return "\\\\.\\COM" + std::to_string(portNum);
}

long long FirstFreePortNumber(const std::string&, const std::string&, long long maxNumber) {
  const std::set<long long> taken = SystemPorts();
  for (long long n = 1; n <= maxNumber; ++n) {
    if (!taken.count(n)) return n;
  }
  return 0;
}

std::vector<PortCandidate> PortCandidates(const std::string&, const std::string&) {
  std::vector<PortCandidate> out;
  for (const long long n : SystemPorts()) out.push_back({n, PortDevicePath(n, {}, {})});
  return out;
}

}  // namespace kelta
