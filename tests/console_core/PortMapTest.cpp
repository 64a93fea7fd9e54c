#include "serial/portmap/PortMap.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

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

}  // namespace
}  // namespace kelta
