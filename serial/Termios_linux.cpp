// Terminal settings through termios2: any speed, not only those with a B* constant. The
// kernel's <asm/termbits.h> clashes with glibc's <termios.h>, so this file includes only the
// former.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "serial/SerialDevice.h"
#include "serial/Termios_linux.h"

namespace kelta::device {

namespace {

// The speed bits for bitsPerSecond: the standard constant where there is one, so that programs
// reading the speed through the classic interface (stty, cfgetospeed) see it; BOTHER with the
// number in c_ispeed/c_ospeed only for speeds that have none (14400, 56000, 128000, ...).
tcflag_t SpeedBits(std::uint32_t bitsPerSecond) {
  struct Standard {
    std::uint32_t rate;
    tcflag_t bits;
  };
  static constexpr Standard kStandard[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000},
  };
  for (const Standard& s : kStandard) {
    if (s.rate == bitsPerSecond) return s.bits;
  }
  return BOTHER;
}

int CharacterSize(std::uint8_t byteSize, tcflag_t& size) {
  switch (byteSize) {
    case 5:
      size = CS5;
      return 0;
    case 6:
      size = CS6;
      return 0;
    case 7:
      size = CS7;
      return 0;
    case 8:
      size = CS8;
      return 0;
    default:
      return EINVAL;  // no terminal has 4-bit characters
  }
}

}  // namespace

int ApplyTermios(int fd, const TVaDcb& dcb) {
  if (dcb.BaudRate == 0) return EINVAL;  // speed 0 would hang the line up
  termios2 tio{};
  if (::ioctl(fd, TCGETS2, &tio) < 0) return errno;

  // Built from nothing except what the kernel needs kept (the line discipline).
  tcflag_t size = CS8;
  if (const int err = CharacterSize(dcb.ByteSize, size)) return err;
  tio.c_iflag = 0;
  tio.c_oflag = 0;
  tio.c_lflag = 0;
  // The input speed follows the output speed (no separate input bits above IBSHIFT).
  tio.c_cflag = CREAD | CLOCAL | SpeedBits(dcb.BaudRate) | size;
  switch (dcb.Parity) {
    case 0:
      break;
    case 1:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      tio.c_cflag |= PARENB;
      break;
    case 3:
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 4:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      return EINVAL;
  }
  switch (dcb.StopBits) {
    case 0:
      break;
    case 1:  // one and a half: what CSTOPB gives with 5-bit characters
    case 2:
      tio.c_cflag |= CSTOPB;
      break;
    default:
      return EINVAL;
  }
  const std::uint32_t flags = dcb.Flags;
  // Parity checking off delivers every byte as received, as the device the block was made for
  // does; IGNPAR is left out because UART drivers drop bytes with framing errors under it.
  if (DcbField(flags, DcbParity)) tio.c_iflag |= INPCK;
  if (DcbField(flags, DcbOutxCtsFlow) || DcbField(flags, DcbRtsControl, 2) == 2) {
    tio.c_cflag |= CRTSCTS;
  }
  if (DcbField(flags, DcbOutX)) tio.c_iflag |= IXON;
  if (DcbField(flags, DcbInX)) tio.c_iflag |= IXOFF;
  tio.c_ispeed = dcb.BaudRate;
  tio.c_ospeed = dcb.BaudRate;
  for (cc_t& c : tio.c_cc) c = 0;
  tio.c_cc[VMIN] = 0;  // a read returns at once with what is there
  tio.c_cc[VTIME] = 0;
  tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  if (::ioctl(fd, TCSETS2, &tio) < 0) return errno;

  // Disabled lines are dropped and enabled ones raised when the block is applied; a device
  // without modem lines has nothing to do here.
  const auto control = [fd](int bit, bool on) -> int {
    int bits = bit;
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) < 0 && !IsNoSuchControl(errno)) return errno;
    return 0;
  };
  const std::uint32_t dtr = DcbField(flags, DcbDtrControl, 2);
  if (dtr <= 1) {
    if (const int err = control(TIOCM_DTR, dtr == 1)) return err;
  }
  const std::uint32_t rts = DcbField(flags, DcbRtsControl, 2);
  if (rts <= 1) {
    if (const int err = control(TIOCM_RTS, rts == 1)) return err;
  }
  return 0;
}

}  // namespace kelta::device
