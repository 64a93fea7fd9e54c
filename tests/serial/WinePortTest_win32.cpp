// The port on Windows against the simulated sensor running natively on Linux: Wine maps COM<N>
// to the sensor's pseudo-terminal through the link $WINEPREFIX/dosdevices/com<N>.
// tools/wine-serial.sh sets it up and plays the sensor's side:
//   KELTA_WINE_COM      N of the linked port
//   KELTA_WINE_SIGNALS  a folder (Windows path) where this program asks for the sensor to go
//                       away (a file "hangup") and learns that it is back (a file "back")
// The sensor runs with a fixed angle of 123.4 and all 256 byte values ahead of every frame.
// The tests run in the order written; the last one takes the sensor away and back.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console/core/PortList.h"
#include "serial/LoopDispatcher.h"
#include "serial/VaComm.h"
#include "serial/portmap/PortMap.h"
#include "serial/win32/Win32GuiDispatcher.h"

namespace kelta {
namespace {

using namespace std::chrono_literals;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string AllByteValues() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

class WinePortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string com = Env("KELTA_WINE_COM");
    signals_ = Env("KELTA_WINE_SIGNALS");
    if (com.empty() || signals_.empty()) {
      GTEST_SKIP() << "no sensor linked (run through tools/wine-serial.sh)";
    }
    portNum_ = std::stoi(com);
    loop_ = std::make_shared<LoopDispatcher>();
    port_.SetDispatcher(loop_);
    port_.SetBaudrate(TVaBaudrate::br9600);
    port_.SetPortNum(portNum_);
    port_.OnRxChar = [this](TVaCustomComm* sender, int count) {
      ++rxCalls_;
      if (std::this_thread::get_id() != gui_) ++offGuiThread_;
      if (count <= 0) ++emptyCounts_;
      received_ += sender->ReceiveText();
    };
    port_.OnError = [this](TVaCustomComm* sender, int errors) {
      errors_.push_back(errors);
      EXPECT_TRUE(sender->IsOpen());
    };
    port_.OnClose = [this](TVaCustomComm*) { ++closes_; };
  }

  void TearDown() override {
    if (port_.IsOpen()) port_.Close();
    EXPECT_EQ(offGuiThread_, 0) << "OnRxChar ran off the GUI thread";
    EXPECT_EQ(emptyCounts_, 0) << "OnRxChar announced no bytes";
  }

  bool Pump(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    return loop_->RunUntil(done, limit);
  }
  // For conditions no GUI call changes: looks again every few milliseconds.
  bool PumpWatching(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop_->RunFor(20ms);
    }
    return true;
  }
  // Everything sent so far has been answered and nothing more is on its way.
  void Quiet() {
    std::size_t before;
    do {
      before = received_.size();
      loop_->RunFor(300ms);
    } while (received_.size() != before);
  }

  std::string signals_;
  int portNum_ = 0;
  const std::thread::id gui_ = std::this_thread::get_id();
  std::shared_ptr<LoopDispatcher> loop_;
  TVaComm port_;
  std::string received_;
  std::vector<int> errors_;
  int rxCalls_ = 0, offGuiThread_ = 0, emptyCounts_ = 0, closes_ = 0;
};

TEST_F(WinePortTest, OpenPutsTheLineSettingsIntoTheDevice) {
  int opens = 0;
  port_.OnOpen = [&](TVaCustomComm* sender) {
    EXPECT_TRUE(sender->IsOpen());
    ++opens;
  };
  port_.Open();
  ASSERT_TRUE(port_.IsOpen());
  EXPECT_EQ(port_.EventMask(), 0x0081u);
  EXPECT_EQ(opens, 1);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(::GetCommState(reinterpret_cast<HANDLE>(port_.Handle()), &dcb));
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fInX, 0u);
  // As the console does after Open; the pseudo-terminal behind the port has no modem lines.
  EXPECT_NO_THROW(port_.SetRtsLine(true));
  EXPECT_NO_THROW(port_.SetDtrLine(true));
  // A change on the open port reaches the device at once.
  port_.SetBaudrate(TVaBaudrate::br19200);
  ASSERT_TRUE(::GetCommState(reinterpret_cast<HANDLE>(port_.Handle()), &dcb));
  EXPECT_EQ(dcb.BaudRate, 19200u);
  try {
    port_.Open();
    ADD_FAILURE() << "second Open accepted";
  } catch (const EVaCommError& e) {
    EXPECT_STREQ(e.what(), "Can't perform this operation while port is open");
  }
  EXPECT_TRUE(port_.IsOpen());
  port_.Close();
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_EQ(closes_, 1);
  port_.Close();
  EXPECT_EQ(closes_, 1);
}

// The port list is made of the system's COM ports: the linked one is there, and available
// while nobody has it open.
TEST_F(WinePortTest, LinkedPortIsInThePortList) {
  std::vector<std::string> list;
  FillPortList(list, true, DefaultPortRoots());
  const std::string name = "COM" + std::to_string(portNum_);
  EXPECT_NE(std::find(list.begin(), list.end(), name), list.end()) << name;
  EXPECT_TRUE(CanOpenPort(name, DefaultPortRoots()));
}

TEST_F(WinePortTest, PortWithoutADeviceIsNotFound) {
  const long long free = FirstFreePortNumber("", "");
  ASSERT_GT(free, 0);
  port_.SetPortNum(static_cast<int>(free));
  try {
    port_.Open();
    ADD_FAILURE() << "opened COM" << free;
  } catch (const EVaCommError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Specified device not found (\\\\.\\COM" + std::to_string(free) + ").");
  }
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_EQ(closes_, 0);
}

TEST_F(WinePortTest, CommandsGoOutAndRepliesComeInOnTheGuiThread) {
  port_.Open();
  ASSERT_TRUE(port_.SendText("#INFO\r\n"));
  // The information reply: "V:<version>,I:<address>,...;" and CR.
  ASSERT_TRUE(Pump([&] { return received_.find(";\r") != std::string::npos; }));
  EXPECT_EQ(received_.compare(0, 2, "V:"), 0) << received_;
  received_.clear();
  // Several commands queued at once leave in call order and are answered in order.
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(port_.SendText("#DATA\r\n"));
  const auto frames = [&] {
    std::size_t n = 0;
    for (auto at = received_.find("123.4"); at != std::string::npos;
         at = received_.find("123.4", at + 1))
      ++n;
    return n;
  };
  ASSERT_TRUE(Pump([&] { return frames() == 5; }));
  Quiet();
  EXPECT_EQ(frames(), 5u);
  EXPECT_GT(rxCalls_, 0);
  EXPECT_TRUE(errors_.empty());
  port_.Close();
}

TEST_F(WinePortTest, EveryByteValueArrivesUnchanged) {
  port_.Open();
  ASSERT_TRUE(port_.SendText("#READ\r\n"));
  const std::string all = AllByteValues();
  ASSERT_TRUE(Pump([&] { return received_.find(all) != std::string::npos; }));
  ASSERT_TRUE(port_.SendText("#STOP\r\n"));
  Quiet();
  // Nothing but whole rounds of the 256 values, each followed by its frame.
  std::size_t rounds = 0;
  for (std::size_t at = received_.find(all); at != std::string::npos;
       at = received_.find(all, at + all.size())) {
    ++rounds;
    EXPECT_NE(received_.find("123.4", at + all.size()), std::string::npos);
  }
  EXPECT_GE(rounds, 1u);
  EXPECT_TRUE(errors_.empty());
  port_.Close();
}

// The notifications reach the GUI thread as window messages when the port is given the Windows
// dispatcher, the way a Windows program without a class library runs it.
TEST_F(WinePortTest, NotificationsArriveThroughWindowMessages) {
  TVaComm port;
  port.SetDispatcher(std::make_shared<Win32Dispatcher>());
  port.SetBaudrate(TVaBaudrate::br9600);
  port.SetPortNum(portNum_);
  std::string received;
  int offGuiThread = 0;
  port.OnRxChar = [&](TVaCustomComm* sender, int) {
    if (std::this_thread::get_id() != gui_) ++offGuiThread;
    received += sender->ReceiveText();
  };
  port.Open();
  ASSERT_TRUE(port.SendText("#DATA\r\n"));
  EXPECT_TRUE(Win32Dispatcher::PumpMessages(
      [&] { return received.find("123.4") != std::string::npos; }, 10s));
  EXPECT_EQ(offGuiThread, 0);
  port.Close();
}

std::chrono::milliseconds ProcessCpuTime() {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return {};
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return std::chrono::milliseconds((ticks(kernel) + ticks(user)) / 10000);  // 100 ns units
}

// Wine ends every event wait on a pseudo-terminal at once (it has no modem status lines): the
// event thread must not turn that into a loop that keeps a processor busy.
TEST_F(WinePortTest, OpenPortWithoutTrafficLeavesTheProcessorAlone) {
  port_.Open();
  const auto before = ProcessCpuTime();
  loop_->RunFor(1000ms);
  // About 60 ms here; waiting again at once took 300 ms and more.
  EXPECT_LT(ProcessCpuTime() - before, 200ms);
  // Still listening.
  ASSERT_TRUE(port_.SendText("#DATA\r\n"));
  EXPECT_TRUE(Pump([&] { return received_.find("123.4") != std::string::npos; }));
  port_.Close();
}

// The sensor goes away while the port is open: one I/O error, then the port closes itself, and
// opens again once the sensor is back under the same name.
TEST_F(WinePortTest, HangUpIsReportedOnceThenThePortReopens) {
  port_.Open();
  ASSERT_TRUE(port_.SendText("#DATA\r\n"));
  ASSERT_TRUE(Pump([&] { return received_.find("123.4") != std::string::npos; }));
  std::ofstream(signals_ + "\\hangup").put('1');
  ASSERT_TRUE(PumpWatching([&] { return closes_ == 1; })) << "no hang-up seen";
  loop_->RunFor(500ms);
  EXPECT_EQ(errors_, std::vector<int>{CE_IOE});
  EXPECT_EQ(closes_, 1);
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(port_.SendText("anyone?"));

  ASSERT_TRUE(PumpWatching([&] { return FileExists(signals_ + "\\back"); }));
  received_.clear();
  port_.Open();
  ASSERT_TRUE(port_.SendText("#DATA\r\n"));
  EXPECT_TRUE(Pump([&] { return received_.find("123.4") != std::string::npos; }));
  port_.Close();
  EXPECT_EQ(closes_, 2);
  EXPECT_EQ(errors_.size(), 1u);
}

}  // namespace
}  // namespace kelta
