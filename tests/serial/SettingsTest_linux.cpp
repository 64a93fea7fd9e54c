// The port's open path and message texts on Linux: the COM-name map's default devices, errno
// texts.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "serial/VaComm.h"
#include "serial/VaCommError.h"

namespace kelta {
namespace {

TEST(VaCommNames, OpenPathComesFromTheMap) {
  TVaComm port;
  port.SetExeDir("/nonexistent-folder/");
  port.SetPortNum(1);
  EXPECT_EQ(port.FormatOpenPath(), "/dev/ttyS0");
  port.SetPortNum(33);
  EXPECT_EQ(port.FormatOpenPath(), "/dev/ttyUSB0");
  port.SetPortNum(0);
  EXPECT_EQ(port.FormatOpenPath(), "");
}

TEST(VaCommError, MessagesCarryTheCodeAndTrimmedSystemText) {
  EXPECT_EQ(FormatCommError("Error writing dcb (%d), %s", EINVAL),
            "Error writing dcb (22), Invalid argument");
  EXPECT_EQ(FormatCommError(" Error setting EventMask (%d), %s", EMFILE),
            " Error setting EventMask (24), Too many open files");
  EXPECT_EQ(FormatCommError("x (Error %d, %s)", EAGAIN),
            "x (Error 11, Resource temporarily unavailable)");
  // A system text never ends in a blank, a control character or a full stop.
  for (int err = 1; err < 134; ++err) {
    const std::string text = SystemErrorText(err);
    ASSERT_FALSE(text.empty()) << err;
    const char last = text.back();
    EXPECT_TRUE(last != '.' && last != ' ' && last != '\n') << err << ": " << text;
  }
}

}  // namespace
}  // namespace kelta
