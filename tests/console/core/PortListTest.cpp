#include "console/core/PortList.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <vector>

#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

// A pseudo-terminal whose slave stands in for a serial device.
using Pty = test::PtyPair;
using test::TempDir;

// Folder layout the list reads: exe/ports/comN links and an empty device folder, so the
// machine's own serial ports never enter the results.
class PortListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir((exe_.Path() + "ports").c_str(), 0755), 0);
    roots_ = PortRoots{exe_.Path(), dev_.Path()};
  }
  void Link(int number, const std::string& target) {
    ASSERT_EQ(symlink(target.c_str(), (exe_.Path() + "ports/com" + std::to_string(number)).c_str()),
              0);
  }
  void DeviceLink(const std::string& name, const std::string& target) {
    ASSERT_EQ(symlink(target.c_str(), (dev_.Path() + name).c_str()), 0);
  }
  std::vector<std::string> List(bool onlyAvailable) {
    std::vector<std::string> list{"stale entry"};
    FillPortList(list, onlyAvailable, roots_);
    return list;
  }

  TempDir exe_, dev_;
  PortRoots roots_;
};

TEST_F(PortListTest, ExistingDevicesInAscendingNumber) {
  Pty a, b, c;
  Link(12, a.SlavePath());
  Link(2, b.SlavePath());
  Link(1, c.SlavePath());
  Link(3, "/nonexistent/tty");           // a dangling link hides its number
  DeviceLink("ttyS2", a.SlavePath());    // ... even when its default (COM3) is a terminal
  DeviceLink("ttyUSB0", b.SlavePath());  // COM33, a plain default
  Link(40, "/nonexistent/tty");          // hides ttyUSB7
  DeviceLink("ttyUSB7", c.SlavePath());
  const std::vector<std::string> expected = {"COM1", "COM2", "COM12", "COM33"};
  EXPECT_EQ(List(false), expected);
  EXPECT_EQ(List(true), expected);
}

// Only terminals are ports: nothing else a name may point at is listed or passes the probe.
TEST_F(PortListTest, NamesOfThingsThatAreNotTerminalsAreNotListed) {
  Pty pty;
  const std::string file = exe_.Path() + "plain-file";
  std::ofstream(file) << "not a device";
  const std::string fifo = exe_.Path() + "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  Link(1, "/dev/null");
  Link(2, "/dev/zero");
  Link(3, file);
  Link(4, fifo);
  Link(5, exe_.Path());  // a folder
  Link(6, pty.SlavePath());
  DeviceLink("ttyUSB0", "/dev/null");  // COM33: the default name, not a terminal either
  DeviceLink("ttyACM0", fifo);         // COM65
  for (bool onlyAvailable : {false, true})
    EXPECT_EQ(List(onlyAvailable), (std::vector<std::string>{"COM6"})) << onlyAvailable;
  for (const char* name : {"COM1", "COM2", "COM3", "COM4", "COM5", "COM33", "COM65"})
    EXPECT_FALSE(CanOpenPort(name, roots_)) << name;
  EXPECT_TRUE(CanOpenPort("COM6", roots_));
}

TEST_F(PortListTest, PortHeldByAnotherOpenIsNotAvailable) {
  Pty free, held;
  Link(1, free.SlavePath());
  Link(2, held.SlavePath());
  const int holder = open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

  EXPECT_EQ(List(true), (std::vector<std::string>{"COM1"}));
  EXPECT_EQ(List(false), (std::vector<std::string>{"COM1", "COM2"}));
  EXPECT_TRUE(CanOpenPort("COM1", roots_));
  EXPECT_FALSE(CanOpenPort("COM2", roots_));

  close(holder);
  EXPECT_TRUE(CanOpenPort("COM2", roots_));
  EXPECT_EQ(List(true), (std::vector<std::string>{"COM1", "COM2"}));
}

// TIOCEXCL does not stop root from opening, so the probe must ask for it.
TEST_F(PortListTest, PortInExclusiveModeIsNotAvailable) {
  Pty held;
  Link(4, held.SlavePath());
  const int holder = open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
  EXPECT_FALSE(CanOpenPort("COM4", roots_));
  EXPECT_TRUE(List(true).empty());
  ASSERT_EQ(ioctl(holder, TIOCNXCL), 0);
  EXPECT_TRUE(CanOpenPort("COM4", roots_));
  close(holder);
}

TEST_F(PortListTest, ProbeLeavesThePortFree) {
  Pty pty;
  Link(1, pty.SlavePath());
  ASSERT_TRUE(CanOpenPort("COM1", roots_));
  const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  int exclusive = -1;
  ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(fd);
}

TEST_F(PortListTest, UnknownNamesCannotBeOpened) {
  Pty pty;
  Link(1, pty.SlavePath());
  for (const char* name : {"COM99", "COM0", "COM", "", "COMx", "COM-1", "COM1 "})
    EXPECT_FALSE(CanOpenPort(name, roots_)) << '"' << name << '"';
}

}  // namespace
}  // namespace kelta
