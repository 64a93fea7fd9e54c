// The port's notifications through Qt's blocking queued calls, on a Qt event loop as the
// console runs them.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "serial/VaComm.h"
#include "serial/qt/QtGuiDispatcher.h"
#include "tests/serial/PortSetup.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using namespace std::chrono_literals;

class QtDispatcherTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_serial_qt";
    static char* argv[] = {name, nullptr};
    app_ = new QCoreApplication(argc, argv);
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
  }

  // Processes events (blocking while there are none; a ticking timer bounds each wait) until
  // done() or the time passed.
  static bool ProcessUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    QTimer tick;
    tick.start(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
  }

  static QCoreApplication* app_;
  test::PtyPair pty_;
  test::ExeDir exe_;
};

QCoreApplication* QtDispatcherTest::app_ = nullptr;

TEST_F(QtDispatcherTest, CallsRunOnTheGuiThreadAndExceptionsComeBack) {
  auto dispatcher = std::make_shared<QtDispatcher>();
  Qt::HANDLE ranOn = nullptr;
  std::string failure;
  bool finished = false;  // GUI thread only
  std::thread worker([&] {
    dispatcher->Call([&] { ranOn = QThread::currentThreadId(); });
    try {
      dispatcher->Call([] { throw std::runtime_error("thrown on the GUI thread"); });
    } catch (const std::runtime_error& e) {
      failure = e.what();
    }
    dispatcher->Call([&] { finished = true; });
  });
  EXPECT_TRUE(ProcessUntil([&] { return finished; }, 5s));
  worker.join();
  EXPECT_EQ(ranOn, QThread::currentThreadId());
  EXPECT_EQ(failure, "thrown on the GUI thread");
  bool inline_ = false;
  dispatcher->Call([&] { inline_ = true; });  // on the GUI thread: at once
  EXPECT_TRUE(inline_);
}

// A port's worker may hold the last reference to the dispatcher (the window that made it is
// gone) and drop it the moment its call has run, while the GUI thread is still delivering the
// wake. The dispatcher must then be taken down on the GUI thread, never under it.
TEST_F(QtDispatcherTest, TheLastReferenceDroppedOnAWorkerWhileTheWakeIsDelivered) {
  int ran = 0;  // GUI thread only
  for (int round = 0; round < 300; ++round) {
    auto dispatcher = std::make_shared<QtDispatcher>();
    std::atomic<bool> dropped{false};
    std::thread worker([&, held = std::move(dispatcher)]() mutable {
      held->Call([&] { ++ran; });
      held.reset();
      dropped = true;
    });
    ASSERT_TRUE(ProcessUntil([&] { return dropped.load(); }, 5s));
    worker.join();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // what it left to us
  }
  EXPECT_EQ(ran, 300);
}

TEST_F(QtDispatcherTest, PortNotificationsOnTheQtEventLoop) {
  exe_.Link(7, pty_.SlavePath());
  TVaComm port;
  test::SetUpPort(port, exe_.Path(), std::make_shared<QtDispatcher>(), 7);
  std::string received;
  bool onGuiThread = true;
  int closes = 0;
  port.OnRxChar = [&](TVaCustomComm* sender, int) {
    onGuiThread = onGuiThread && QThread::currentThread() == app_->thread();
    received += sender->ReceiveText();
    if (received.find('!') != std::string::npos) sender->Close();  // as the Close button might
  };
  port.OnClose = [&](TVaCustomComm*) { ++closes; };
  port.Open();
  port.SetRtsLine(true);
  port.SetDtrLine(true);
  ASSERT_TRUE(port.SendText("#INFO\r\n"));
  EXPECT_EQ(pty_.Read(7, 5s), "#INFO\r\n");
  pty_.Write("V:1.0\r");
  ASSERT_TRUE(ProcessUntil([&] { return received == "V:1.0\r"; }, 5s));
  pty_.Write("bye!");
  ASSERT_TRUE(ProcessUntil([&] { return closes == 1; }, 5s));
  EXPECT_EQ(received, "V:1.0\rbye!");
  EXPECT_TRUE(onGuiThread);
  EXPECT_FALSE(port.IsOpen());
  port.Open();  // reopens right away
  port.Close();
  EXPECT_EQ(closes, 2);
}

}  // namespace
}  // namespace kelta
