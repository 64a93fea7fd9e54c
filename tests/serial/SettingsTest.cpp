// The port's properties, settings groups, device control block and message texts: everything
// that needs no device. What differs by system is in SettingsTest_linux.cpp and
// SettingsTest_win32.cpp.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/SerialDevice.h"
#include "serial/VaComm.h"
#include "serial/VaCommBuffer.h"
#include "serial/VaSync.h"

namespace kelta {
namespace {

TEST(VaCommDefaults, PropertiesAsConstructed) {
  TVaComm port;
  EXPECT_EQ(port.PortNum(), 0);
  EXPECT_EQ(port.DeviceName(), "\\\\.\\COM%d");
  EXPECT_EQ(port.DeviceName().size(), 9u);
  EXPECT_EQ(port.Baudrate(), TVaBaudrate::br1200);
  EXPECT_EQ(port.UserBaudrate(), 0);
  EXPECT_EQ(port.Parity(), TVaParity::paNone);
  EXPECT_EQ(port.Databits(), TVaDatabits::db8);
  EXPECT_EQ(port.Stopbits(), TVaStopbits::sb1);
  EXPECT_TRUE(port.Options().Empty());
  EXPECT_EQ(port.Buffers().ReadSize(), 4096);
  EXPECT_EQ(port.Buffers().WriteSize(), 2048);
  EXPECT_EQ(port.Buffers().ReadTimeout(), 1000);
  EXPECT_EQ(port.Buffers().WriteTimeout(), 1000);
  EXPECT_EQ(port.Buffers().XonLimit(), 1024);
  EXPECT_EQ(port.Buffers().XoffLimit(), 1024);
  EXPECT_EQ(port.EventChars().XonChar(), 0x11);
  EXPECT_EQ(port.EventChars().XoffChar(), 0x13);
  EXPECT_EQ(port.EventChars().ErrorChar(), 0);
  EXPECT_EQ(port.EventChars().EventChar(), 0);
  EXPECT_EQ(port.EventChars().EofChar(), 0);
  EXPECT_EQ(port.FlowControl().ControlDtr(), TVaControlDtr::dtrDisabled);
  EXPECT_EQ(port.FlowControl().ControlRts(), TVaControlRts::rtsDisabled);
  EXPECT_EQ(port.MonitorEvents(), (TVaCommEvents{TVaCommEvent::ceError, TVaCommEvent::ceRxChar,
                                                 TVaCommEvent::ceTxEmpty}));
  EXPECT_EQ(port.EventPriority(), TThreadPriority::tpNormal);
  EXPECT_EQ(port.WritePriority(), TThreadPriority::tpHighest);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Handle(), -1);
}

TEST(VaCommDcb, FormSettingsGiveTheDocumentedBlock) {
  TVaComm port;
  port.SetBaudrate(TVaBaudrate::br9600);
  const TVaDcb dcb = port.BuildDcb();
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, 0);
  EXPECT_EQ(dcb.StopBits, 0);
  EXPECT_EQ(dcb.Flags, 0x00000001u);
  EXPECT_EQ(dcb.XonLim, 1024);
  EXPECT_EQ(dcb.XoffLim, 1024);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
  EXPECT_EQ(dcb.ErrorChar, 0);
  EXPECT_EQ(dcb.EofChar, 0);
  EXPECT_EQ(dcb.EvtChar, 0);
}

TEST(VaCommDcb, EverySettingLandsInItsField) {
  TVaComm port;
  port.SetUserBaudrate(31250);
  port.SetParity(TVaParity::paMark);
  port.SetDatabits(TVaDatabits::db7);
  port.SetStopbits(TVaStopbits::sb2);
  port.SetOptions(
      {TVaCommOption::coParityCheck, TVaCommOption::coErrorChar, TVaCommOption::coNullStrip});
  TVaFlowControl flow;
  flow.SetOutCtsFlow(true);
  flow.SetOutDsrFlow(true);
  flow.SetControlDtr(TVaControlDtr::dtrHandshake);
  flow.SetControlRts(TVaControlRts::rtsToggle);
  flow.SetXonXoffOut(true);
  flow.SetXonXoffIn(true);
  flow.SetDsrSensitivity(true);
  flow.SetTxContinueOnXoff(true);
  port.SetFlowControl(flow);
  port.Buffers().SetXonLimit(0x12345);  // low 16 bits only
  port.Buffers().SetXoffLimit(7);
  port.EventChars().SetErrorChar('E');
  port.EventChars().SetEofChar('Z');
  port.EventChars().SetEventChar('\n');

  const TVaDcb dcb = port.BuildDcb();
  EXPECT_EQ(dcb.BaudRate, 31250u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.Parity, 3);
  EXPECT_EQ(dcb.StopBits, 2);
  // Every one-bit field set, DTR control 2, RTS control 3, abort-on-error never.
  EXPECT_EQ(dcb.Flags, 0x00003FEFu | (2u << DcbDtrControl));
  EXPECT_EQ(DcbField(dcb.Flags, DcbDtrControl, 2), 2u);
  EXPECT_EQ(DcbField(dcb.Flags, DcbRtsControl, 2), 3u);
  EXPECT_EQ(DcbField(dcb.Flags, DcbAbortOnError), 0u);
  EXPECT_EQ(dcb.XonLim, 0x2345);
  EXPECT_EQ(dcb.XoffLim, 7);
  EXPECT_EQ(dcb.ErrorChar, 'E');
  EXPECT_EQ(dcb.EofChar, 'Z');
  EXPECT_EQ(dcb.EvtChar, '\n');
}

TEST(VaCommProperties, BaudrateAndUserBaudrateAreCoupled) {
  TVaComm port;
  port.SetUserBaudrate(250000);
  EXPECT_EQ(port.Baudrate(), TVaBaudrate::brUser);
  EXPECT_EQ(port.BuildDcb().BaudRate, 250000u);
  port.SetBaudrate(TVaBaudrate::br9600);
  EXPECT_EQ(port.UserBaudrate(), 0);
  // Unchanged value: nothing happens, so Baudrate stays br9600.
  port.SetUserBaudrate(0);
  EXPECT_EQ(port.Baudrate(), TVaBaudrate::br9600);
  // brUser keeps the user rate.
  port.SetUserBaudrate(5);
  port.SetBaudrate(TVaBaudrate::brUser);
  EXPECT_EQ(port.UserBaudrate(), 5);
}

TEST(VaCommProperties, OutOfRangeValuesAreClamped) {
  TVaComm port;
  port.SetPortNum(-3);
  EXPECT_EQ(port.PortNum(), 0);
  port.Buffers().SetReadSize(-1);
  EXPECT_EQ(port.Buffers().ReadSize(), 0);
  port.Buffers().SetWriteTimeout(-5);
  EXPECT_EQ(port.Buffers().WriteTimeout(), 0);
}

TEST(VaCommNames, DeviceNameTemplate) {
  TVaComm port;
  port.SetPortNum(3);
  EXPECT_EQ(port.FormatDeviceName(), "\\\\.\\COM3");
  // The template is text, not a printf format: only %d and %% are read.
  port.SetDeviceName("%s%n 100%% COM%d/%d");
  EXPECT_EQ(port.FormatDeviceName(), "%s%n 100% COM3/%d");
}

TEST(VaCommClosed, OperationsOnAClosedPort) {
  TVaComm port;
  int closes = 0;
  port.OnClose = [&](TVaCustomComm*) { ++closes; };
  port.Close();
  EXPECT_EQ(closes, 0);
  EXPECT_FALSE(port.SendText("x"));
  EXPECT_TRUE(port.SendText(""));
  EXPECT_EQ(port.SendBuffer("abc", 3), 0);
  EXPECT_EQ(port.ReceiveText(), "");
  char buffer[4];
  EXPECT_EQ(port.ReceiveBuffer(buffer, 4), 0);
  EXPECT_EQ(port.InputCount(), 0);
  std::uint32_t errors = 7;
  TVaCommStat stat{1, 2, 3};
  port.QueryLineStatus(errors, stat);
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(stat.Flags, 0u);
  EXPECT_EQ(stat.cbInQue, 0u);
  EXPECT_EQ(stat.cbOutQue, 0u);
  EXPECT_NO_THROW(port.SetRtsLine(true));
  EXPECT_NO_THROW(port.SetDtrLine(true));
}

TEST(VaCommClosed, ModemLinesUnderHandshakeAreRefusedEvenWhenClosed) {
  const struct {
    TVaControlDtr dtr;
    TVaControlRts rts;
    const char* dtrError;
    const char* rtsError;
  } table[] = {
      {TVaControlDtr::dtrHandshake, TVaControlRts::rtsEnabled,
       "DTR line updates not allowed when flowcontrol is set to Handshake.", nullptr},
      {TVaControlDtr::dtrEnabled, TVaControlRts::rtsHandshake, nullptr,
       "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle."},
      {TVaControlDtr::dtrEnabled, TVaControlRts::rtsToggle, nullptr,
       "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle."},
  };
  for (const auto& row : table) {
    TVaComm port;
    port.FlowControl().SetControlDtr(row.dtr);
    port.FlowControl().SetControlRts(row.rts);
    for (bool value : {true, false}) {
      if (row.dtrError) {
        try {
          port.SetDtrLine(value);
          ADD_FAILURE() << "no error";
        } catch (const EVaCommError& e) {
          EXPECT_STREQ(e.what(), row.dtrError);
        }
      } else {
        EXPECT_NO_THROW(port.SetDtrLine(value));
      }
      if (row.rtsError) {
        try {
          port.SetRtsLine(value);
          ADD_FAILURE() << "no error";
        } catch (const EVaCommError& e) {
          EXPECT_STREQ(e.what(), row.rtsError);
        }
      } else {
        EXPECT_NO_THROW(port.SetRtsLine(value));
      }
    }
  }
}

TEST(VaCommNotifications, HandleEventsFiresInItsFixedOrder) {
  TVaComm port;  // closed: the error check finds no flags, so OnError stays out of this
  std::vector<std::string> fired;
  const auto record = [&fired](const char* name) {
    return [&fired, name](TVaCustomComm*) { fired.push_back(name); };
  };
  port.OnRxFlag = record("RxFlag");
  port.OnCts = record("Cts");
  port.OnDsr = record("Dsr");
  port.OnRing = record("Ring");
  port.OnRlsd = record("Rlsd");
  port.OnTxEmpty = record("TxEmpty");
  port.OnBreak = record("Break");
  port.OnPErr = record("PErr");
  port.OnRx80Full = record("Rx80Full");
  port.OnEvent1 = record("Event1");
  port.OnEvent2 = record("Event2");
  port.HandleEvents(0x1FFF);
  EXPECT_EQ(fired, (std::vector<std::string>{"RxFlag", "Cts", "Dsr", "Ring", "Rlsd", "TxEmpty",
                                             "Break", "PErr", "Rx80Full", "Event1", "Event2"}));
  fired.clear();
  port.HandleEvents(EV_EVENT2 | EV_CTS);  // only the bits given
  EXPECT_EQ(fired, (std::vector<std::string>{"Cts", "Event2"}));
}

// --- Settings groups

TEST(VaPrst, MemberSettersReportOnlyChanges) {
  TVaBuffers buffers;
  int changes = 0;
  buffers.OnChange = [&](TVaPersistent*) { ++changes; };
  buffers.SetReadSize(4096);  // unchanged
  buffers.SetWriteSize(100);
  buffers.SetXonLimit(1024);  // unchanged
  buffers.SetXoffLimit(5);
  buffers.SetReadTimeout(1);  // time-outs never report
  buffers.SetWriteTimeout(2);
  EXPECT_EQ(changes, 2);

  TVaFlowControl flow;
  int flowChanges = 0;
  flow.OnChange = [&](TVaPersistent*) { ++flowChanges; };
  flow.SetXonXoffIn(false);  // unchanged
  flow.SetXonXoffIn(true);
  flow.SetControlRts(TVaControlRts::rtsEnabled);
  flow.SetControlRts(TVaControlRts::rtsEnabled);
  EXPECT_EQ(flowChanges, 2);

  TVaEventChars chars;
  int charChanges = 0;
  chars.OnChange = [&](TVaPersistent*) { ++charChanges; };
  chars.SetXonChar(0x11);  // always reports
  chars.SetXonChar(0x11);
  EXPECT_EQ(charChanges, 2);
}

TEST(VaPrst, UpdateBracketsReportOnceAndNeverGoBelowZero) {
  TVaFlowControl flow;
  int changes = 0;
  flow.OnChange = [&](TVaPersistent*) { ++changes; };
  flow.BeginUpdate();
  flow.BeginUpdate();
  flow.SetOutCtsFlow(true);
  flow.SetOutDsrFlow(true);
  EXPECT_EQ(changes, 0);
  flow.EndUpdate();
  EXPECT_EQ(changes, 0);  // still inside the outer bracket
  flow.EndUpdate();
  EXPECT_EQ(changes, 1);
  flow.EndUpdate();  // unmatched: stays at 0 and reports
  EXPECT_EQ(flow.UpdateCount(), 0);
  EXPECT_EQ(changes, 2);
}

TEST(VaPrst, AssigningAWholeGroupReportsOnce) {
  TVaComm port;
  TVaEventChars chars;
  chars.SetXonChar('Q');
  chars.SetXoffChar('S');
  chars.SetEofChar(4);
  int changes = 0;
  port.EventChars().OnChange = [&](TVaPersistent*) { ++changes; };
  port.SetEventChars(chars);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(port.EventChars().XonChar(), 'Q');
  EXPECT_EQ(port.EventChars().XoffChar(), 'S');
  EXPECT_EQ(port.EventChars().EofChar(), 4);

  TVaBuffers buffers;
  buffers.SetWriteSize(16);
  buffers.SetWriteTimeout(5);
  port.SetBuffers(buffers);
  EXPECT_EQ(port.Buffers().WriteSize(), 16);
  EXPECT_EQ(port.Buffers().WriteTimeout(), 5);
}

// Line errors come from the driver's counters: each counter that grew gives its flag, whatever
// the amount and across the counter's wrap.
TEST(LineCounters, GrownCountersGiveTheirFlags) {
  using device::LineCounters;
  const LineCounters base{5, 6, 7, 8, 0xFFFFFFFFu};
  const struct {
    LineCounters now;
    std::uint32_t flags;
  } table[] = {
      {{5, 6, 7, 8, 0xFFFFFFFFu}, 0},
      {{6, 6, 7, 8, 0xFFFFFFFFu}, CE_FRAME},
      {{5, 9, 7, 8, 0xFFFFFFFFu}, CE_OVERRUN},
      {{5, 6, 8, 8, 0xFFFFFFFFu}, CE_RXPARITY},
      {{5, 6, 7, 9, 0xFFFFFFFFu}, CE_BREAK},
      {{5, 6, 7, 8, 0}, CE_RXOVER},
      {{9, 9, 9, 9, 1}, CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_BREAK | CE_RXOVER},
  };
  for (const auto& row : table) {
    EXPECT_EQ(device::CounterErrors(base, row.now), row.flags) << std::hex << row.flags;
  }
}

// --- Time-out measure, write queue

TEST(VaTimeout, ElapsedAcrossTheWrap) {
  const struct {
    std::uint32_t start, now, elapsed;
  } table[] = {
      {0, 0, 0},
      {100, 1100, 1000},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0},
      {0xFFFFFF00u, 0xFFFFFFFFu, 0xFF},
      // After the wrap the measure is now + (0xFFFFFFFF - start).
      {0xFFFFFFFFu, 0, 0},
      {0xFFFFFFFFu, 5, 5},
      {0xFFFFFC18u, 999, 999 + 999},
      {1, 0, 0xFFFFFFFEu},
  };
  for (const auto& row : table) {
    EXPECT_EQ(TVaTimeout::Elapsed(row.start, row.now), row.elapsed)
        << std::hex << row.start << " " << row.now;
  }
}

TEST(VaTimeout, ExpiresOnlyWhenStrictlyLonger) {
  const TVaTimeout t{0xFFFFFF00u, 1000};
  EXPECT_FALSE(t.Expired(0xFFFFFF00u));
  EXPECT_FALSE(t.Expired(0xFFFFFF00u + 255));  // 255
  EXPECT_FALSE(t.Expired(744));                // 255 + 744 = 999
  EXPECT_FALSE(t.Expired(745));                // exactly 1000
  EXPECT_TRUE(t.Expired(746));
  EXPECT_EQ(t.Remaining(745), 1u);
  EXPECT_EQ(t.Remaining(746), 0u);
  EXPECT_EQ(t.Remaining(0xFFFFFF00u), 1001u);
}

TEST(VaCommBuffer, AppendAndConsumeKeepOrder) {
  TVaCommBuffer queue(8);
  queue.Append("abcde", 5);
  queue.Consume(2);
  queue.Append("XYZ", 3);
  ASSERT_EQ(queue.Size(), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(queue.Data()), queue.Size()), "cdeXYZ");
  queue.Consume(6);
  EXPECT_EQ(queue.Size(), 0u);
  queue.Append("12345678", 8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(queue.Data()), queue.Size()), "12345678");
}

}  // namespace
}  // namespace kelta
