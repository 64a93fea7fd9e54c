#include "console/win32/PortDescription.h"

#include "console/win32/Utf16.h"

// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <cwctype>

namespace kelta::win32 {

namespace {

std::wstring Upper(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
  return text;
}

std::wstring RegistryText(HKEY key, const wchar_t* name) {
  wchar_t value[256] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  return value;
}

std::wstring DeviceText(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t value[512] = {};
  if (!::SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(value),
                                           sizeof value - sizeof(wchar_t), nullptr))
    return {};
  return value;
}

}  // namespace

std::string PortDescriptionText(const std::string& friendlyName, const std::string& maker,
                                const std::string& portName) {
  std::string text = friendlyName;
  const std::string repeated = " (" + portName + ")";
  if (const size_t at = text.rfind(repeated); at != std::string::npos && !portName.empty())
    text.erase(at, repeated.size());
  const bool placeholder = maker.empty() || maker.front() == '(';
  if (!placeholder && text.find(maker) == std::string::npos)
    text = text.empty() ? maker : text + ", " + maker;
  return text;
}

std::string DescribeComPort(const std::string& devicePath) {
  std::wstring port = Upper(Widen(devicePath));
  if (port.rfind(L"\\\\.\\", 0) == 0) port.erase(0, 4);
  if (port.empty()) return {};
  HDEVINFO devices = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return {};
  std::string description;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
    HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    const std::wstring name = Upper(RegistryText(key, L"PortName"));
    ::RegCloseKey(key);
    if (name != port) continue;
    description = PortDescriptionText(Narrow(DeviceText(devices, device, SPDRP_FRIENDLYNAME)),
                                      Narrow(DeviceText(devices, device, SPDRP_MFG)), Narrow(port));
    break;
  }
  ::SetupDiDestroyDeviceInfoList(devices);
  return description;
}

}  // namespace kelta::win32
