#pragma once
// Values shared by the serial port object, its settings groups and its worker threads: the
// property enumerations, the line event bits, the line error flags, the device control block
// and the line status record. Plain data; no behaviour.

#include <cstdint>
#include <functional>
#include <initializer_list>

namespace kelta {

class TVaCustomComm;

enum class TVaBaudrate {
  brUser,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum class TVaParity { paNone, paOdd, paEven, paMark, paSpace };
enum class TVaDatabits { db4, db5, db6, db7, db8 };
enum class TVaStopbits { sb1, sb15, sb2 };
enum class TVaControlDtr { dtrDisabled, dtrEnabled, dtrHandshake };
enum class TVaControlRts { rtsDisabled, rtsEnabled, rtsHandshake, rtsToggle };
enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

// Bits per second of a TVaBaudrate other than brUser (0 for brUser).
std::uint32_t BaudrateValue(TVaBaudrate rate);

// A small set over an enumeration of at most 32 members.
template <typename E>
class TVaSet {
 public:
  constexpr TVaSet() = default;
  constexpr TVaSet(std::initializer_list<E> members) {
    for (E m : members) bits_ |= Bit(m);
  }
  constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
  constexpr TVaSet& Include(E m) {
    bits_ |= Bit(m);
    return *this;
  }
  constexpr TVaSet& Exclude(E m) {
    bits_ &= ~Bit(m);
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TVaSet&) const = default;

 private:
  static constexpr std::uint32_t Bit(E m) { return std::uint32_t{1} << static_cast<unsigned>(m); }
  std::uint32_t bits_ = 0;
};

enum class TVaCommOption { coErrorChar, coNullStrip, coParityCheck };
using TVaCommOptions = TVaSet<TVaCommOption>;

// Declaration order matters only for the set's bits; the device bit of each member is below.
enum class TVaCommEvent {
  ceBreak,
  ceCts,
  ceDsr,
  ceError,
  ceRing,
  ceRlsd,
  ceRxChar,
  ceTxEmpty,
  ceRxFlag,
  cePErr,
  ceRx80Full,
  ceEvent1,
  ceEvent2
};
using TVaCommEvents = TVaSet<TVaCommEvent>;

// Line event bits (the values of the platform these ports were first written for). <windows.h>
// defines the same names, with the same values, as macros: where it came first, they are its.
#ifndef EV_RXCHAR
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_PERR = 0x0200;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;
inline constexpr std::uint32_t EV_EVENT1 = 0x0800;
inline constexpr std::uint32_t EV_EVENT2 = 0x1000;
#endif

// The device bit a member of TVaCommEvent stands for.
std::uint32_t CommEventBit(TVaCommEvent event);

// Line error flags passed to OnError unchanged (<windows.h>: as above).
#ifndef CE_RXOVER
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;
inline constexpr std::uint32_t CE_TXFULL = 0x0100;
inline constexpr std::uint32_t CE_PTO = 0x0200;
inline constexpr std::uint32_t CE_IOE = 0x0400;
inline constexpr std::uint32_t CE_DNS = 0x0800;
inline constexpr std::uint32_t CE_OOP = 0x1000;
inline constexpr std::uint32_t CE_MODE = 0x8000;
#endif

// The device control block ApplyLineSettings builds, laid out as the Windows DCB so the flags
// word can be compared as a whole. Bit positions of Flags are the DcbFlag* constants.
struct TVaDcb {
  std::uint32_t DCBlength = sizeof(TVaDcb);
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  std::uint16_t wReserved1 = 0;

  bool operator==(const TVaDcb&) const = default;
};

// Flags word layout: one-bit fields unless a width is given.
inline constexpr unsigned DcbBinary = 0;
inline constexpr unsigned DcbParity = 1;
inline constexpr unsigned DcbOutxCtsFlow = 2;
inline constexpr unsigned DcbOutxDsrFlow = 3;
inline constexpr unsigned DcbDtrControl = 4;  // two bits
inline constexpr unsigned DcbDsrSensitivity = 6;
inline constexpr unsigned DcbTXContinueOnXoff = 7;
inline constexpr unsigned DcbOutX = 8;
inline constexpr unsigned DcbInX = 9;
inline constexpr unsigned DcbErrorChar = 10;
inline constexpr unsigned DcbNull = 11;
inline constexpr unsigned DcbRtsControl = 12;  // two bits
inline constexpr unsigned DcbAbortOnError = 14;

// Reads a field of the flags word (width 1 or 2 bits).
constexpr std::uint32_t DcbField(std::uint32_t flags, unsigned pos, unsigned width = 1) {
  return (flags >> pos) & ((std::uint32_t{1} << width) - 1);
}

// Line status record of QueryLineStatus.
struct TVaCommStat {
  std::uint32_t Flags = 0;
  std::uint32_t cbInQue = 0;
  std::uint32_t cbOutQue = 0;
};

// Notification types. Sender is always the port.
using TNotifyEvent = std::function<void(TVaCustomComm* Sender)>;
using TVaCommErrorEvent = std::function<void(TVaCustomComm* Sender, int Errors)>;
using TVaCommRxCharEvent = std::function<void(TVaCustomComm* Sender, int Count)>;

}  // namespace kelta
