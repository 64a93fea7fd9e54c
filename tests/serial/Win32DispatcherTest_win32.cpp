// The Windows message hand-off: calls run on the thread that made the dispatcher, when it
// dispatches messages, nested loops included; exceptions come back to the caller.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "serial/win32/Win32GuiDispatcher.h"

namespace kelta {
namespace {

using namespace std::chrono_literals;

TEST(Win32Dispatcher, RunsCallsOnTheGuiThreadAndCarriesExceptionsBack) {
  auto gui = std::make_shared<Win32Dispatcher>();
  const auto guiThread = std::this_thread::get_id();
  std::thread::id ranOn;
  std::string failure;
  bool done = false;  // GUI thread only
  std::thread worker([&] {
    gui->Call([&] { ranOn = std::this_thread::get_id(); });
    try {
      gui->Call([] { throw std::runtime_error("from the GUI thread"); });
    } catch (const std::runtime_error& e) {
      failure = e.what();
    }
    gui->Call([&] { done = true; });
  });
  ASSERT_TRUE(Win32Dispatcher::PumpMessages([&] { return done; }, 10s));
  worker.join();
  EXPECT_EQ(ranOn, guiThread);
  EXPECT_EQ(failure, "from the GUI thread");
  // On the GUI thread itself the call runs at once.
  bool ran = false;
  gui->Call([&] { ran = true; });
  EXPECT_TRUE(ran);
}

// A call that waits while processing messages (as the console's request flow does) lets the
// calls of other workers run inside it, and each worker gets back once its own call ran.
TEST(Win32Dispatcher, CallsRunInsideALoopThatProcessesMessages) {
  auto gui = std::make_shared<Win32Dispatcher>();
  std::vector<std::string> order;  // GUI thread only
  bool outerDone = false;
  std::thread inner;
  std::thread outer([&] {
    gui->Call([&] {
      order.push_back("outer begins");
      inner = std::thread([&] { gui->Call([&] { order.push_back("inner"); }); });
      EXPECT_TRUE(Win32Dispatcher::PumpMessages([&] { return order.size() == 2; }, 10s));
      order.push_back("outer ends");
    });
    gui->Call([&] { outerDone = true; });
  });
  ASSERT_TRUE(Win32Dispatcher::PumpMessages([&] { return outerDone; }, 10s));
  outer.join();
  inner.join();
  EXPECT_EQ(order, (std::vector<std::string>{"outer begins", "inner", "outer ends"}));
}

// A port's worker may drop the last reference right after its call ran, while the GUI thread
// still finishes the wake. The window and the line are then taken down on the GUI thread
// (a window cannot be destroyed from another thread): none is left once messages were pumped.
TEST(Win32Dispatcher, TheLastReferenceDroppedOnAWorkerIsRetiredOnTheGuiThread) {
  int ran = 0;  // GUI thread only
  for (int round = 0; round < 100; ++round) {
    auto gui = std::make_shared<Win32Dispatcher>();
    std::atomic<bool> dropped{false};
    std::thread worker([&, held = std::move(gui)]() mutable {
      held->Call([&] { ++ran; });
      held.reset();
      dropped = true;
    });
    ASSERT_TRUE(Win32Dispatcher::PumpMessages([&] { return dropped.load(); }, 10s));
    worker.join();
  }
  EXPECT_EQ(ran, 100);
  // Ours only: other programs on the same desktop (the console, run by other tests at the same
  // time) have dispatcher windows of their own.
  const auto windowsLeft = [] {
    int count = 0;
    HWND window = nullptr;
    while ((window = ::FindWindowExW(HWND_MESSAGE, window, L"KeltaVaCommDispatcher", nullptr))) {
      DWORD process = 0;
      ::GetWindowThreadProcessId(window, &process);
      if (process == ::GetCurrentProcessId()) ++count;
    }
    return count;
  };
  EXPECT_TRUE(Win32Dispatcher::PumpMessages([&] { return windowsLeft() == 0; }, 10s));
}

}  // namespace
}  // namespace kelta
