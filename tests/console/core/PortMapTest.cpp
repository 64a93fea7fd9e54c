#include "serial/portmap/PortMap.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <string>

#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::TempDir;

TEST(PortMap, DefaultRanges) {
  const struct {
    long long port;
    const char* path;
  } cases[] = {
      {1, "/dev/ttyS0"},
      {32, "/dev/ttyS31"},
      {33, "/dev/ttyUSB0"},
      {64, "/dev/ttyUSB31"},
      {65, "/dev/ttyACM0"},
      {96, "/dev/ttyACM31"},
      {97, ""},
      {0, ""},
      {-1, ""},
      {LLONG_MAX, ""},
      {LLONG_MIN, ""},
  };
  TempDir exe;  // no ports/ folder
  for (const auto& c : cases) EXPECT_EQ(PortDevicePath(c.port, exe.Path()), c.path) << c.port;
}

TEST(PortMap, LinksReplaceTheDefaultOfTheirNumber) {
  TempDir exe;
  ASSERT_EQ(mkdir((exe.Path() + "ports").c_str(), 0755), 0);
  ASSERT_EQ(symlink("/dev/null", (exe.Path() + "ports/com5").c_str()), 0);
  ASSERT_EQ(symlink("/nonexistent/device", (exe.Path() + "ports/com6").c_str()), 0);
  ASSERT_EQ(symlink("/dev/null", (exe.Path() + "ports/com200").c_str()), 0);
  // Names PortDevicePath would never look up.
  for (const char* name : {"COM7", "com007", "com8x", "com", "com0"})
    ASSERT_EQ(symlink("/dev/null", (exe.Path() + "ports/" + name).c_str()), 0);

  EXPECT_EQ(PortDevicePath(5, exe.Path(), "/d/"), exe.Path() + "ports/com5");
  EXPECT_EQ(PortDevicePath(6, exe.Path(), "/d/"), exe.Path() + "ports/com6");  // dangling
  EXPECT_EQ(PortDevicePath(200, exe.Path(), "/d/"), exe.Path() + "ports/com200");
  EXPECT_EQ(PortDevicePath(7, exe.Path(), "/d/"), "/d/ttyS6");
  EXPECT_EQ(PortDevicePath(8, exe.Path(), "/d/"), "/d/ttyS7");

  const std::vector<PortCandidate> all = PortCandidates(exe.Path(), "/d/");
  ASSERT_EQ(all.size(), 97u);  // 1-96 and 200
  for (size_t i = 0; i + 1 < all.size(); ++i) EXPECT_LT(all[i].number, all[i + 1].number);
  for (const PortCandidate& port : all)
    EXPECT_EQ(port.devicePath, PortDevicePath(port.number, exe.Path(), "/d/")) << port.number;
  EXPECT_EQ(all.back().number, 200);
}

// A number is taken by any ports/ entry, a dangling link too, and by a device at its default
// path; above the default ranges only links take numbers.
TEST(PortMap, FirstFreeNumberSkipsLinksAndPresentDevices) {
  TempDir exe, dev;
  EXPECT_EQ(FirstFreePortNumber(exe.Path(), dev.Path()), 1);  // no ports/ folder at all

  ASSERT_EQ(mkdir((exe.Path() + "ports").c_str(), 0755), 0);
  ASSERT_EQ(symlink("/dev/null", (exe.Path() + "ports/com1").c_str()), 0);
  ASSERT_EQ(symlink("/nonexistent/device", (exe.Path() + "ports/com2").c_str()), 0);
  std::ofstream(dev.Path() + "ttyS2") << "";                           // COM3
  ASSERT_EQ(symlink("/dev/null", (dev.Path() + "ttyS3").c_str()), 0);  // COM4, through a link
  ASSERT_EQ(symlink("/nonexistent/tty", (dev.Path() + "ttyS4").c_str()), 0);  // gone: free
  EXPECT_EQ(FirstFreePortNumber(exe.Path(), dev.Path()), 5);

  for (int n = 3; n <= 96; ++n) {
    const std::string link = exe.Path() + "ports/com" + std::to_string(n);
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
  }
  EXPECT_EQ(FirstFreePortNumber(exe.Path(), dev.Path()), 97);
  EXPECT_EQ(FirstFreePortNumber(exe.Path(), dev.Path(), 96), 0);  // none left up to 96
}

}  // namespace
}  // namespace kelta
