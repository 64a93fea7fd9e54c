// What ApplyLineSettings leaves in the terminal, read back with termios2 (its own file: the
// kernel's termios header clashes with the C library's). A pseudo-terminal keeps speed, flags
// and special characters, but always reads back 8 data bits without parity.

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <memory>

#include "serial/LoopDispatcher.h"
#include "serial/VaComm.h"
#include "tests/serial/PortSetup.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

termios2 Settings(int fd) {
  termios2 tio{};
  EXPECT_EQ(ioctl(fd, TCGETS2, &tio), 0);
  return tio;
}

TEST(Termios, OpenPutsTheBlockIntoTheDeviceAndChangesApplyAtOnce) {
  test::PtyPair pty;
  test::ExeDir exe;
  exe.Link(2, pty.SlavePath());
  TVaComm port;
  test::SetUpPort(port, exe.Path(), std::make_shared<LoopDispatcher>(), 2);
  port.Open();

  termios2 tio = Settings(port.Handle());
  EXPECT_EQ(tio.c_cflag & CBAUD, static_cast<tcflag_t>(B9600));
  EXPECT_EQ(tio.c_ospeed, 9600u);
  EXPECT_EQ(tio.c_ispeed, 9600u);
  EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(tio.c_cflag & CREAD, 0u);
  EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
  // Without parity checking a byte with a framing error is still delivered (and counted);
  // IGNPAR would make a UART driver drop it.
  EXPECT_EQ(tio.c_iflag & IGNPAR, 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tio.c_cc[VSTART], 0x11);
  EXPECT_EQ(tio.c_cc[VSTOP], 0x13);
  EXPECT_EQ(tio.c_cc[VMIN], 0);
  EXPECT_EQ(tio.c_cc[VTIME], 0);

  port.SetUserBaudrate(31250);  // any speed, not only the standard ones
  port.SetStopbits(TVaStopbits::sb2);
  port.FlowControl().SetXonXoffIn(true);
  port.FlowControl().SetOutCtsFlow(true);
  port.EventChars().SetXonChar('A');
  port.SetOptions({TVaCommOption::coParityCheck});
  tio = Settings(port.Handle());
  EXPECT_EQ(tio.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));  // no constant of its own
  EXPECT_EQ(tio.c_ospeed, 31250u);
  EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
  EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
  EXPECT_NE(tio.c_iflag & IXOFF, 0u);
  EXPECT_EQ(tio.c_iflag & IXON, 0u);
  EXPECT_NE(tio.c_iflag & INPCK, 0u);
  EXPECT_EQ(tio.c_cc[VSTART], 'A');
  port.SetBaudrate(TVaBaudrate::br14400);  // in the table, but without a constant either
  tio = Settings(port.Handle());
  EXPECT_EQ(tio.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
  EXPECT_EQ(tio.c_ospeed, 14400u);
  EXPECT_EQ(tio.c_ispeed, 14400u);
  port.Close();
}

}  // namespace
}  // namespace kelta
