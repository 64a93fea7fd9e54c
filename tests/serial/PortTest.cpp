// The port over a real pseudo-terminal, notifications through the loop dispatcher: open and
// close, the failure messages, sending, receiving.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <utility>

#include "serial/LoopDispatcher.h"
#include "serial/VaComm.h"
#include "tests/serial/PortSetup.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using namespace std::chrono_literals;

class PortTest : public test::PtyPortTest {};

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EVaCommError& e) {
    return e.what();
  }
  return "(no EVaCommError)";
}

TEST_F(PortTest, OpenCloseReopenFireTheirNotifications) {
  auto port = MakePort();
  std::vector<std::string> log;
  port->OnOpen = [&](TVaCustomComm* sender) {
    EXPECT_EQ(sender, port.get());
    EXPECT_TRUE(sender->IsOpen());
    log.push_back("open");
  };
  port->OnClose = [&](TVaCustomComm* sender) {
    EXPECT_FALSE(sender->IsOpen());
    log.push_back("close");
  };
  for (int round = 0; round < 3; ++round) {
    port->Open();
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(port->EventMask(), 0x0081u);
    port->SetRtsLine(true);  // a pseudo-terminal has no modem lines: nothing to do
    port->SetDtrLine(true);
    port->Close();
    EXPECT_FALSE(port->IsOpen());
    port->Close();  // closed: nothing, no notification
  }
  EXPECT_EQ(log, (std::vector<std::string>{"open", "close", "open", "close", "open", "close"}));
}

TEST_F(PortTest, EventMaskNeverHoldsTxEmpty) {
  auto port = MakePort();
  port->SetMonitorEvents({TVaCommEvent::ceTxEmpty, TVaCommEvent::ceBreak, TVaCommEvent::ceRing,
                          TVaCommEvent::ceEvent2});
  port->Open();
  EXPECT_EQ(port->EventMask(), EV_BREAK | EV_RING | EV_EVENT2);
  port->Close();
  port->SetMonitorEvents({TVaCommEvent::ceTxEmpty});
  port->Open();
  EXPECT_EQ(port->EventMask(), 0u);  // no event thread; sending still works
  EXPECT_TRUE(port->SendText("ok"));
  EXPECT_EQ(pty_.Read(2, 5s), "ok");
  port->Close();
}

// Programs that read the speed the classic way (stty, cfgetospeed) see the standard speeds;
// only speeds without a constant of their own are set the other way.
TEST_F(PortTest, StandardSpeedsReadBackThroughCfgetospeed) {
  auto port = MakePort();
  port->Open();
  const auto speed = [&port] {
    termios tio{};
    EXPECT_EQ(tcgetattr(port->Handle(), &tio), 0);
    EXPECT_EQ(cfgetispeed(&tio), cfgetospeed(&tio));
    return cfgetospeed(&tio);
  };
  EXPECT_EQ(speed(), static_cast<speed_t>(B9600));
  const std::pair<TVaBaudrate, speed_t> standard[] = {
      {TVaBaudrate::br110, B110},     {TVaBaudrate::br1200, B1200},
      {TVaBaudrate::br19200, B19200}, {TVaBaudrate::br38400, B38400},
      {TVaBaudrate::br57600, B57600}, {TVaBaudrate::br115200, B115200},
  };
  for (const auto& [rate, constant] : standard) {
    port->SetBaudrate(rate);
    EXPECT_EQ(speed(), constant) << BaudrateValue(rate);
  }
  port->SetUserBaudrate(230400);
  EXPECT_EQ(speed(), static_cast<speed_t>(B230400));
  port->Close();
}

TEST_F(PortTest, FailureMessagesOfOpen) {
  exe_.Link(9, exe_.Path() + "no-such-device");
  exe_.Link(5, "/dev/null");  // opens, but is no terminal

  auto port = MakePort(9);
  bool opened = false;
  port->OnOpen = [&](TVaCustomComm*) { opened = true; };
  EXPECT_EQ(ErrorOf([&] { port->Open(); }), "Specified device not found (\\\\.\\COM9).");
  EXPECT_FALSE(port->IsOpen());

  // A number without a link and outside the default ranges.
  port->SetPortNum(500);
  EXPECT_EQ(ErrorOf([&] { port->Open(); }), "Specified device not found (\\\\.\\COM500).");

  // Configuration failure after the device opened: closed again, no notification, no
  // descriptor left.
  const int fds = test::OpenDescriptorCount();
  port->SetPortNum(5);
  EXPECT_EQ(ErrorOf([&] { port->Open(); }),
            "Error writing dcb (25), Inappropriate ioctl for device");
  EXPECT_FALSE(port->IsOpen());
  EXPECT_EQ(test::OpenDescriptorCount(), fds);

  // A speed of 0 bits per second is refused by the device, not by the property.
  port->SetPortNum(3);
  port->SetBaudrate(TVaBaudrate::brUser);
  EXPECT_EQ(ErrorOf([&] { port->Open(); }), "Error writing dcb (22), Invalid argument");
  EXPECT_FALSE(port->IsOpen());
  EXPECT_FALSE(opened);

  // Four data bits: no terminal has them.
  port->SetBaudrate(TVaBaudrate::br9600);
  port->SetDatabits(TVaDatabits::db4);
  EXPECT_EQ(ErrorOf([&] { port->Open(); }), "Error writing dcb (22), Invalid argument");
  port->SetDatabits(TVaDatabits::db8);
  port->Open();
  EXPECT_TRUE(opened);
  port->Close();
}

TEST_F(PortTest, DeviceHeldElsewhereIsRefused) {
  auto first = MakePort();
  first->Open();
  auto second = MakePort();
  EXPECT_EQ(ErrorOf([&] { second->Open(); }),
            "Can't open specified device \\\\.\\COM3 (Error 11, Resource temporarily unavailable)");
  EXPECT_FALSE(second->IsOpen());
  first->Close();
  second->Open();  // free again
  EXPECT_TRUE(second->IsOpen());

  // Another program's exclusive lock on the device.
  second->Close();
  const int other = open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(ErrorOf([&] { second->Open(); }),
            "Can't open specified device \\\\.\\COM3 (Error 11, Resource temporarily unavailable)");
  close(other);
  second->Open();
  second->Close();
}

// Another console's port list probes every port it lists: it opens the device, takes the lock
// and lets go at once. A Connect that meets such a probe must not fail for it.
TEST_F(PortTest, ALockHeldOnlyForAMomentDoesNotRefuseTheOpen) {
  auto port = MakePort();
  for (int round = 0; round < 3; ++round) {
    const int probe = open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    ASSERT_EQ(flock(probe, LOCK_EX | LOCK_NB), 0);
    std::thread letGo([probe] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      close(probe);
    });
    EXPECT_NO_THROW(port->Open());
    letGo.join();
    EXPECT_TRUE(port->IsOpen());
    port->Close();
  }
}

TEST_F(PortTest, SettingsRefusedWhileOpenLeaveEverythingAsItWas) {
  auto port = MakePort();
  port->Open();
  const std::string busy = "Can't perform this operation while port is open";
  EXPECT_EQ(ErrorOf([&] { port->Open(); }), busy);
  EXPECT_TRUE(port->IsOpen());
  EXPECT_EQ(ErrorOf([&] { port->SetPortNum(4); }), busy);
  EXPECT_EQ(port->PortNum(), 3);
  EXPECT_EQ(ErrorOf([&] { port->SetDeviceName("COM%d"); }), busy);
  EXPECT_EQ(port->DeviceName(), "\\\\.\\COM%d");
  EXPECT_EQ(ErrorOf([&] { port->SetMonitorEvents({}); }), busy);
  EXPECT_EQ(port->MonitorEvents().Contains(TVaCommEvent::ceRxChar), true);
  EXPECT_EQ(ErrorOf([&] { port->SetBuffers(TVaBuffers()); }), busy);
  EXPECT_EQ(ErrorOf([&] { port->Buffers().SetWriteSize(10); }), busy);
  EXPECT_EQ(ErrorOf([&] { port->Buffers().SetReadSize(10); }), busy);
  // Time-outs may change at any time; line settings apply at once.
  port->Buffers().SetWriteTimeout(10);
  port->SetBaudrate(TVaBaudrate::br115200);
  port->FlowControl().SetXonXoffIn(true);
  port->EventChars().SetXonChar('A');
  EXPECT_TRUE(port->IsOpen());
  // The port still works after all that.
  EXPECT_TRUE(port->SendText("still"));
  EXPECT_EQ(pty_.Read(5, 5s), "still");
  port->Close();
}

TEST_F(PortTest, TextLongerThanTheWriteQueueNeverFits) {
  auto port = MakePort();
  port->Buffers().SetWriteTimeout(50);
  port->Open();
  const std::string tooLong(2049, 'x');
  EXPECT_EQ(ErrorOf([&] { port->SendText(tooLong); }),
            "Output buffer is full. Please check comm status.");
  // The queue is unchanged: a text that fits goes out alone.
  EXPECT_TRUE(port->SendText(std::string(2048, 'y')));
  EXPECT_EQ(pty_.Read(2048, 5s), std::string(2048, 'y'));
  port->Close();
}

TEST_F(PortTest, FullQueueWaitsForRoomThenGivesUp) {
  auto port = MakePort();
  port->Buffers().SetWriteSize(64);
  port->Buffers().SetWriteTimeout(100);
  port->Open();
  // Nobody reads the master: the line fills, then the queue.
  const std::string chunk(64, 'z');
  bool full = false;
  std::size_t sent = 0;
  for (int i = 0; i < 100000 && !full; ++i) {
    try {
      port->SendText(chunk);
      sent += chunk.size();
    } catch (const EVaCommError& e) {
      EXPECT_STREQ(e.what(), "Output buffer is full. Please check comm status.");
      full = true;
    }
  }
  ASSERT_TRUE(full);
  // Reading the master makes room; what was accepted arrives whole and in order.
  std::string got;
  std::thread reader([&] { got = pty_.Read(sent + 64, 10s); });
  port->Buffers().SetWriteTimeout(5000);
  EXPECT_TRUE(port->SendText(chunk));
  reader.join();
  EXPECT_EQ(got, std::string(sent + 64, 'z'));
  port->Close();
}

TEST_F(PortTest, BytesLeaveInCallOrder) {
  auto port = MakePort();
  port->Open();
  std::string expected;
  std::string got;
  std::thread reader([&] { got = pty_.Read(20000, 20s); });
  for (int i = 0; expected.size() < 20000; ++i) {
    const char fill = static_cast<char>('a' + i % 26);
    std::string text =
        "#" + std::to_string(i) + std::string(static_cast<std::size_t>(i % 97), fill) + "\r\n";
    if (expected.size() + text.size() > 20000) text.resize(20000 - expected.size());
    expected += text;
    ASSERT_TRUE(port->SendText(text));
  }
  reader.join();
  EXPECT_EQ(got, expected);
  port->Close();
}

TEST_F(PortTest, ReceiveTextReturnsEveryByteValueUnchanged) {
  auto port = MakePort();
  std::string received;
  int calls = 0;
  bool onGuiThread = true;
  const auto gui = std::this_thread::get_id();
  port->OnRxChar = [&](TVaCustomComm* sender, int count) {
    ++calls;
    onGuiThread = onGuiThread && std::this_thread::get_id() == gui;
    EXPECT_GT(count, 0);
    const std::string chunk = sender->ReceiveText();
    EXPECT_GE(static_cast<int>(chunk.size()), count);
    received += chunk;
  };
  port->Open();
  EXPECT_EQ(port->ReceiveText(), "");  // nothing waiting
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  pty_.Write(all + all);
  EXPECT_TRUE(Pump([&] { return received.size() >= 512; }));
  EXPECT_EQ(received, all + all);
  EXPECT_GE(calls, 1);
  EXPECT_TRUE(onGuiThread);
  port->Close();
}

TEST_F(PortTest, ReceiveBufferTakesAtMostCount) {
  auto port = MakePort();
  port->Open();
  pty_.Write("0123456789");
  ASSERT_TRUE(Pump([&] { return port->InputCount() == 10; }, 5s));
  char buffer[4];
  EXPECT_EQ(port->ReceiveBuffer(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  std::uint32_t errors = 1;
  TVaCommStat stat;
  port->QueryLineStatus(errors, stat);
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(stat.cbInQue, 6u);
  EXPECT_EQ(port->ReceiveText(), "456789");
  EXPECT_EQ(port->ReceiveBuffer(buffer, 4), 0);  // nothing left: no wait
  port->Close();
}

TEST_F(PortTest, UnreadBytesAreNotAnnouncedAgainUntilMoreArrive) {
  auto port = MakePort();
  std::vector<int> counts;
  port->OnRxChar = [&](TVaCustomComm*, int count) { counts.push_back(count); };  // reads nothing
  port->Open();
  pty_.Write("abc");
  ASSERT_TRUE(Pump([&] { return !counts.empty(); }));
  loop_->RunFor(100ms);
  EXPECT_EQ(counts, (std::vector<int>{3}));
  pty_.Write("de");
  ASSERT_TRUE(Pump([&] { return counts.size() == 2; }));
  EXPECT_EQ(counts[1], 5);  // what waits at dispatch time
  port->Close();
}

// Records the rest of each batch that DispatchEvents passes on.
class RecordingPort : public TVaComm {
 public:
  void HandleEvents(std::uint32_t Bits) override {
    handled.push_back(Bits);
    TVaComm::HandleEvents(Bits);
  }
  std::vector<std::uint32_t> handled;
};

TEST_F(PortTest, DispatchEventsPassesTheRestOnOnlyAfterOnRxCharReturned) {
  RecordingPort port;
  port.SetExeDir(exe_.Path());
  port.SetDispatcher(loop_);
  port.SetPortNum(3);
  std::vector<int> counts;
  bool fail = false;
  std::vector<std::string> reported;
  port.OnRxChar = [&](TVaCustomComm*, int count) {
    counts.push_back(count);
    if (fail) throw std::runtime_error("rx handler failed");
  };
  port.OnException = [&](const std::exception& e) { reported.push_back(e.what()); };
  port.Open();
  pty_.Write("abc");
  // The batches are dispatched here by hand; the event thread's own waits in the loop.
  for (int i = 0; i < 5000 && port.InputCount() < 3; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(port.InputCount(), 3);

  port.DispatchEvents(EV_RXCHAR | EV_CTS);
  EXPECT_EQ(counts, std::vector<int>{3});
  EXPECT_EQ(port.handled, std::vector<std::uint32_t>{EV_CTS});  // EV_RXCHAR taken out

  fail = true;
  port.DispatchEvents(EV_RXCHAR | EV_CTS);
  EXPECT_EQ(port.handled.size(), 1u);  // the failed batch ends there
  EXPECT_EQ(reported, std::vector<std::string>{"rx handler failed"});

  port.DispatchEvents(EV_CTS);  // later batches go on as before
  EXPECT_EQ(port.handled.size(), 2u);
  port.Close();
  loop_->RunFor(50ms);  // lets the event thread's call return, so it can end
}

}  // namespace
}  // namespace kelta
