// The workers: notifications on the GUI thread, Close from inside a notification, a device that
// goes away, exceptions from handlers, and many open/close cycles under streaming data.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "serial/LoopDispatcher.h"
#include "serial/VaComm.h"
#include "tests/serial/PortSetup.h"
#include "tests/support/ProcessStats.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using namespace std::chrono_literals;

class ThreadsTest : public test::PtyPortTest {
 protected:
  void SetUp() override {
    PtyPortTest::SetUp();
    // Sanitizer run-times start a helper thread with the first thread made: not ours to count.
    std::thread([] {}).join();
    baseThreads_ = test::ThreadCount();
    baseFds_ = test::OpenDescriptorCount();
  }

  // Workers end on their own once their last call ran: keep the GUI loop going meanwhile.
  bool WorkersGone(std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (test::ThreadCount() > baseThreads_) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop_->RunFor(5ms);
    }
    return true;
  }

  int baseThreads_ = 0;
  int baseFds_ = 0;
};

TEST_F(ThreadsTest, OpenStartsTwoWorkersAndCloseEndsThem) {
  auto port = MakePort();
  port->Open();
  EXPECT_EQ(test::ThreadCount(), baseThreads_ + 2);
  port->Close();
  EXPECT_TRUE(WorkersGone());
  port->SetMonitorEvents({});  // no event thread without events
  port->Open();
  EXPECT_EQ(test::ThreadCount(), baseThreads_ + 1);
  port->Close();
  EXPECT_TRUE(WorkersGone());
  EXPECT_EQ(test::OpenDescriptorCount(), baseFds_);
}

TEST_F(ThreadsTest, TxEmptyFollowsEveryWriteThatEmptiesTheQueue) {
  auto port = MakePort();
  std::atomic<int> empties{0};
  const auto gui = std::this_thread::get_id();
  port->OnTxEmpty = [&](TVaCustomComm*) {
    EXPECT_EQ(std::this_thread::get_id(), gui);
    ++empties;
  };
  port->Open();
  ASSERT_TRUE(port->SendText("one"));
  EXPECT_TRUE(Pump([&] { return empties == 1; }));
  EXPECT_EQ(pty_.Read(3, 5s), "one");
  ASSERT_TRUE(port->SendText("two"));
  EXPECT_TRUE(Pump([&] { return empties == 2; }));
  port->Close();
}

// Whether OnTxEmpty is bound is read at every emptied queue, not once at Open.
TEST_F(ThreadsTest, TxEmptyBoundOrUnboundWhileOpenTakesEffectAtTheNextWrite) {
  auto port = MakePort();
  port->Open();
  ASSERT_TRUE(port->SendText("unbound"));
  EXPECT_EQ(pty_.Read(7, 5s), "unbound");
  int empties = 0;
  port->OnTxEmpty = [&](TVaCustomComm*) { ++empties; };
  ASSERT_TRUE(port->SendText("bound"));
  EXPECT_TRUE(Pump([&] { return empties == 1; }));
  EXPECT_EQ(pty_.Read(5, 5s), "bound");

  port->OnTxEmpty = nullptr;
  ASSERT_TRUE(port->SendText("gone"));
  EXPECT_EQ(pty_.Read(4, 5s), "gone");
  loop_->RunFor(100ms);
  EXPECT_EQ(empties, 1);
  port->Close();
}

TEST_F(ThreadsTest, CloseFromInsideOnRxCharEndsTheBatchAndTheWorkers) {
  auto port = MakePort();
  int rx = 0, closes = 0, errors = 0;
  port->OnClose = [&](TVaCustomComm*) { ++closes; };
  port->OnError = [&](TVaCustomComm*, int) { ++errors; };
  port->OnRxChar = [&](TVaCustomComm* sender, int) {
    ++rx;
    sender->Close();  // the event thread is waiting for this very call
  };
  port->Open();
  pty_.Write("hello");
  ASSERT_TRUE(Pump([&] { return closes == 1; }));
  EXPECT_FALSE(port->IsOpen());
  pty_.Write("more");  // nobody listens any more
  loop_->RunFor(100ms);
  EXPECT_EQ(rx, 1);
  EXPECT_EQ(errors, 0);
  EXPECT_TRUE(WorkersGone());
  EXPECT_EQ(test::OpenDescriptorCount(), baseFds_);
  // The same port opens again at once, and gets what waited meanwhile.
  std::string got;
  port->OnRxChar = [&](TVaCustomComm* sender, int) { got += sender->ReceiveText(); };
  port->Open();
  ASSERT_TRUE(Pump([&] { return got.find("more") != std::string::npos; }));
  port->Close();
}

TEST_F(ThreadsTest, ReopenFromInsideOnRxChar) {
  auto port = MakePort();
  int opens = 0;
  std::string got;
  port->OnOpen = [&](TVaCustomComm*) { ++opens; };
  port->OnRxChar = [&](TVaCustomComm* sender, int) {
    got += sender->ReceiveText();
    if (opens < 3) {
      sender->Close();
      sender->Open();
    }
  };
  port->Open();
  for (int i = 0; i < 3; ++i) {
    const int before = opens;
    pty_.Write("x");
    ASSERT_TRUE(Pump([&] { return opens > before || (opens == 3 && got.size() == 3); }));
  }
  ASSERT_TRUE(Pump([&] { return got == "xxx"; }));
  EXPECT_EQ(opens, 3);
  port->Close();
  EXPECT_TRUE(WorkersGone());
}

TEST_F(ThreadsTest, BatchQueuedBeforeCloseYieldsNothing) {
  auto port = MakePort();
  int rx = 0;
  port->OnRxChar = [&](TVaCustomComm*, int) { ++rx; };
  port->Open();
  pty_.Write("late");
  // Let the event thread hand the batch over, but do not run it before Close.
  std::this_thread::sleep_for(200ms);
  port->Close();
  loop_->RunFor(100ms);
  EXPECT_EQ(rx, 0);
  EXPECT_TRUE(WorkersGone());
}

TEST_F(ThreadsTest, HandlerExceptionsGoToTheApplicationHandler) {
  auto port = MakePort();
  std::vector<std::string> reported;
  int rx = 0;
  port->OnException = [&](const std::exception& e) { reported.push_back(e.what()); };
  port->OnRxChar = [&](TVaCustomComm* sender, int) {
    sender->ReceiveText();
    if (++rx == 1) throw std::runtime_error("handler failed");
  };
  port->Open();
  pty_.Write("a");
  ASSERT_TRUE(Pump([&] { return rx == 1; }));
  pty_.Write("b");  // later batches arrive normally
  ASSERT_TRUE(Pump([&] { return rx == 2; }));
  EXPECT_EQ(reported, std::vector<std::string>{"handler failed"});

  // OnOpen's exception is reported too and does not undo the open.
  port->Close();
  port->OnOpen = [](TVaCustomComm*) { throw std::runtime_error("open handler failed"); };
  port->Open();
  EXPECT_TRUE(port->IsOpen());
  EXPECT_EQ(reported.back(), "open handler failed");
  // OnClose's exception reaches the caller of Close; the port is closed already.
  port->OnClose = [](TVaCustomComm*) { throw std::runtime_error("close handler failed"); };
  EXPECT_THROW(port->Close(), std::runtime_error);
  EXPECT_FALSE(port->IsOpen());
}

// A lost device is reported once, then the port closes itself, so the same port opens again
// once a device is back under its name.
TEST_F(ThreadsTest, HangUpIsReportedOnceThenThePortClosesAndReopensOnTheNextDevice) {
  auto port = MakePort();
  std::vector<std::string> seen;
  int rx = 0;
  port->OnError = [&](TVaCustomComm* sender, int flags) {
    seen.push_back("error " + std::to_string(flags));
    EXPECT_TRUE(sender->IsOpen());
  };
  port->OnClose = [&](TVaCustomComm* sender) {
    seen.push_back("close");
    EXPECT_FALSE(sender->IsOpen());
  };
  port->OnRxChar = [&](TVaCustomComm* sender, int) {
    ++rx;
    sender->ReceiveText();
  };
  port->Open();
  pty_.Write("bye");
  ASSERT_TRUE(Pump([&] { return rx == 1; }));
  pty_.HangUp();
  ASSERT_TRUE(Pump([&] { return seen.size() == 2; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"error 1024", "close"}));
  EXPECT_FALSE(port->IsOpen());
  EXPECT_FALSE(port->SendText("anyone?"));
  EXPECT_TRUE(WorkersGone());
  EXPECT_EQ(test::OpenDescriptorCount(), baseFds_ - 1);  // the master is gone too
  loop_->RunFor(100ms);
  EXPECT_EQ(seen.size(), 2u);

  test::PtyPair next;
  exe_.Link(3, next.SlavePath());
  port->Open();
  next.Write("hello");
  EXPECT_TRUE(Pump([&] { return rx == 2; }));
  port->Close();
  EXPECT_TRUE(WorkersGone());
}

// Without an event thread the write thread finds the loss: the same report and close.
TEST_F(ThreadsTest, HangUpFoundByTheWriteThreadClosesThePortToo) {
  auto port = MakePort();
  port->SetMonitorEvents({});
  std::vector<std::string> seen;
  port->OnError = [&](TVaCustomComm*, int flags) {
    seen.push_back("error " + std::to_string(flags));
  };
  port->OnClose = [&](TVaCustomComm*) { seen.push_back("close"); };
  port->Open();
  pty_.HangUp();
  EXPECT_TRUE(port->SendText("anyone?"));
  ASSERT_TRUE(Pump([&] { return seen.size() == 2; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"error 1024", "close"}));
  EXPECT_TRUE(WorkersGone());
}

TEST_F(ThreadsTest, OpenPortWithoutTrafficCostsNoCpu) {
  auto port = MakePort();
  port->Open();
  const auto before = test::ThreadCpuTime("VaComm");
  loop_->RunFor(1000ms);
  EXPECT_LT(test::ThreadCpuTime("VaComm") - before, 50ms);
  port->Close();
}

TEST_F(ThreadsTest, ManyOpenCloseCyclesUnderStreamingDataLeaveNothingBehind) {
  // The device streams frames the whole time, whether the port is open or not.
  std::atomic<bool> stop{false};
  std::thread device([&] {
    const std::string frame =
        "\x02"
        "123.4"
        "\x17"
        "ab$";
    while (!stop) {
      const ssize_t n = write(pty_.Master(), frame.data(), frame.size());
      if (n < 0) {
        pollfd p{pty_.Master(), POLLOUT, 0};
        poll(&p, 1, 5);
      }
      // Keep the other direction drained as well.
      char sink[256];
      while (read(pty_.Master(), sink, sizeof sink) > 0) {
      }
    }
  });
  auto port = MakePort();
  std::size_t received = 0;
  int opens = 0, closes = 0;
  port->OnOpen = [&](TVaCustomComm*) { ++opens; };
  port->OnClose = [&](TVaCustomComm*) { ++closes; };
  port->OnRxChar = [&](TVaCustomComm* sender, int) { received += sender->ReceiveText().size(); };
  constexpr int kCycles = 500;
  for (int i = 0; i < kCycles; ++i) {
    port->Open();
    port->SendText("#READ\r\n");
    loop_->RunFor(std::chrono::milliseconds(i % 3));
    port->Close();
  }
  stop = true;
  device.join();
  EXPECT_EQ(opens, kCycles);
  EXPECT_EQ(closes, kCycles);
  EXPECT_GT(received, 0u);
  EXPECT_TRUE(WorkersGone());
  EXPECT_EQ(test::ThreadCount(), baseThreads_);
  EXPECT_EQ(test::OpenDescriptorCount(), baseFds_);
}

TEST_F(ThreadsTest, DestroyingAnOpenPortClosesWithoutOnClose) {
  int closes = 0;
  {
    auto port = MakePort();
    port->OnClose = [&](TVaCustomComm*) { ++closes; };
    port->Open();
    pty_.Write("pending");
  }
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(WorkersGone());
  EXPECT_EQ(test::OpenDescriptorCount(), baseFds_);
  // The device is free again.
  auto again = MakePort();
  again->Open();
  again->Close();
}

TEST_F(ThreadsTest, CloseWhileTheWriteThreadWaitsForTheLine) {
  auto port = MakePort();
  int empties = 0;
  port->OnTxEmpty = [&](TVaCustomComm*) { ++empties; };
  port->Buffers().SetWriteTimeout(50);
  port->Open();
  // Nobody reads the master: the write thread ends up waiting for room on the line.
  try {
    for (int i = 0; i < 100000; ++i) port->SendText(std::string(512, 'q'));
  } catch (const EVaCommError&) {
  }
  loop_->RunFor(50ms);
  const int before = empties;
  port->Close();  // queued bytes are dropped
  loop_->RunFor(100ms);
  EXPECT_EQ(empties, before);
  EXPECT_TRUE(WorkersGone());
  EXPECT_EQ(test::OpenDescriptorCount(), baseFds_);
}

// --- The loop dispatcher itself

TEST(LoopDispatcher, RunsCallsOnItsThreadAndCarriesExceptionsBack) {
  auto loop = std::make_shared<LoopDispatcher>();
  const auto gui = std::this_thread::get_id();
  std::thread::id ranOn;
  std::string failure;
  bool done = false;  // GUI thread only
  std::thread worker([&] {
    loop->Call([&] { ranOn = std::this_thread::get_id(); });
    try {
      loop->Call([] { throw std::runtime_error("from the GUI thread"); });
    } catch (const std::runtime_error& e) {
      failure = e.what();
    }
    loop->Call([&] { done = true; });
  });
  ASSERT_TRUE(loop->RunUntil([&] { return done; }, 5s));
  worker.join();
  EXPECT_EQ(ranOn, gui);
  EXPECT_EQ(failure, "from the GUI thread");
  // On the GUI thread itself the call runs at once.
  bool ran = false;
  loop->Call([&] { ran = true; });
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace kelta
