// The port list on Windows, against the ports the system (here: the Wine prefix) has.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/core/PortList.h"
#include "serial/portmap/PortMap.h"

namespace kelta {
namespace {

long long Number(const std::string& name) { return std::stoll(name.substr(3)); }

// Wine opens a serial device a second time even without sharing (Windows refuses it with
// ERROR_ACCESS_DENIED), so there no open can tell that a port is held.
bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

TEST(PortListWin32, AscendingComNamesAndTheAvailableOnesAmongThem) {
  const PortRoots roots = DefaultPortRoots();
  std::vector<std::string> all, available;
  FillPortList(all, false, roots);
  FillPortList(available, true, roots);
  for (std::size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(all[i].compare(0, 3, "COM"), 0) << all[i];
    if (i > 0) {
      EXPECT_LT(Number(all[i - 1]), Number(all[i]));
    }
    EXPECT_EQ(PortDevicePath(Number(all[i]), roots.exeDir), "\\\\.\\" + all[i]);
  }
  std::size_t at = 0;
  for (const std::string& name : available) {
    while (at < all.size() && all[at] != name) ++at;
    EXPECT_LT(at, all.size()) << name << " is available but not among the ports";
    EXPECT_TRUE(CanOpenPort(name, roots)) << name;
  }
}

TEST(PortListWin32, NamesWithoutAPortCannotBeOpened) {
  const PortRoots roots = DefaultPortRoots();
  const long long free = FirstFreePortNumber(roots.exeDir, roots.devDir);
  ASSERT_GT(free, 0);
  for (const std::string& name : {std::string("COM0"), std::string("COM"), std::string("COMx"),
                                  std::string("COM-1"), "COM" + std::to_string(free)}) {
    EXPECT_FALSE(CanOpenPort(name, roots)) << name;
  }
  std::vector<std::string> all;
  FillPortList(all, false, roots);
  for (const std::string& name : all) EXPECT_NE(Number(name), free);
}

// A port another open holds (no sharing) is left out of the available ones and comes back once
// it is free.
TEST(PortListWin32, PortHeldElsewhereIsNotAvailable) {
  const PortRoots roots = DefaultPortRoots();
  std::vector<std::string> available;
  FillPortList(available, true, roots);
  if (available.empty()) GTEST_SKIP() << "no COM port can be opened here";
  const std::string name = available.front();
  const HANDLE held = ::CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  if (UnderWine()) {
    ::CloseHandle(held);
    GTEST_SKIP() << "Wine does not refuse a second open without sharing";
  }
  EXPECT_FALSE(CanOpenPort(name, roots));
  std::vector<std::string> now;
  FillPortList(now, true, roots);
  for (const std::string& other : now) EXPECT_NE(other, name);
  ::CloseHandle(held);
  EXPECT_TRUE(CanOpenPort(name, roots));
}

}  // namespace
}  // namespace kelta
