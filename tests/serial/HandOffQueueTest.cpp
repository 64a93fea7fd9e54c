// The waiting line behind every GUI dispatcher: calls queued while the GUI thread is busy are
// served by one wake, in order; a call that runs a loop of its own lets the calls behind it run
// there; a wake that cannot reach the GUI thread withdraws the call.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "serial/HandOffQueue.h"

namespace kelta {
namespace {

using namespace std::chrono_literals;

// The GUI thread's side for these tests: wakes are counted, not delivered; the test thread runs
// them as a message loop would.
struct CountedWakes {
  std::atomic<int> wakes{0};
  std::atomic<bool> failing{false};
  std::function<void()> Wake() {
    return [this] {
      if (failing) throw std::runtime_error("no GUI thread");
      ++wakes;
    };
  }
};

// Runs one wake as a message loop does.
void Serve(HandOffQueue& queue) {
  queue.BeginRun();
  while (queue.RunOne()) {
  }
}

template <typename Done>
void WaitFor(Done done) {
  while (!done()) std::this_thread::sleep_for(1ms);
}

TEST(HandOffQueue, CallsQueuedWhileTheGuiThreadIsBusyShareOneWakeAndRunInOrder) {
  CountedWakes gui;
  HandOffQueue queue(gui.Wake());
  std::mutex orderLock;
  std::vector<int> order;
  std::atomic<int> queued{0};
  std::vector<std::thread> workers;
  // Each worker queues only after the one before it has: the order is known.
  for (int i = 0; i < 3; ++i) {
    WaitFor([&] { return queued == i; });
    workers.emplace_back([&, i] {
      const std::function<void()> call = [&, i] {
        std::lock_guard<std::mutex> hold(orderLock);
        order.push_back(i);
      };
      ++queued;
      queue.Call(call);
    });
    WaitFor([&] { return queue.Queued() == static_cast<std::size_t>(i + 1); });
  }
  EXPECT_EQ(gui.wakes, 1);
  Serve(queue);
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  // Calls waited behind the first one, so a second wake was asked for before it ran (for a loop
  // the first might have run); until that one is served, a new call joins it.
  EXPECT_EQ(gui.wakes, 2);
  Serve(queue);  // the second wake arrives: nothing left to run
  std::thread next([&] { queue.Call([] {}); });
  WaitFor([&] { return gui.wakes == 3; });
  Serve(queue);
  next.join();
}

TEST(HandOffQueue, ACallThatRunsALoopOfItsOwnLetsTheCallsBehindItRunThere) {
  CountedWakes gui;
  HandOffQueue queue(gui.Wake());
  bool secondRan = false;
  bool secondRanInsideFirst = false;
  std::atomic<bool> firstQueued{false};
  std::thread first([&] {
    const std::function<void()> call = [&] {
      // A modal loop: it serves the wakes that arrive while it runs.
      WaitFor([&] { return gui.wakes == 2; });
      Serve(queue);
      secondRanInsideFirst = secondRan;
    };
    firstQueued = true;
    queue.Call(call);
  });
  WaitFor([&] { return firstQueued && gui.wakes == 1; });
  std::thread second([&] { queue.Call([&] { secondRan = true; }); });
  WaitFor([&] { return queue.Queued() == 2; });  // second joined the pending wake
  Serve(queue);  // runs the first call, which must wake again before it runs
  first.join();
  second.join();
  EXPECT_TRUE(secondRanInsideFirst);
  EXPECT_EQ(gui.wakes, 2);
}

TEST(HandOffQueue, AWakeThatCannotReachTheGuiThreadWithdrawsTheCall) {
  CountedWakes gui;
  HandOffQueue queue(gui.Wake());
  gui.failing = true;
  bool ran = false;
  std::string failure;
  std::thread worker([&] {
    try {
      queue.Call([&] { ran = true; });
    } catch (const std::runtime_error& e) {
      failure = e.what();
    }
  });
  worker.join();
  EXPECT_EQ(failure, "no GUI thread");
  EXPECT_FALSE(queue.RunOne());  // nothing left behind
  EXPECT_FALSE(ran);
  // The failed wake is not taken for a pending one: the next call wakes.
  gui.failing = false;
  bool nextRan = false;
  std::thread next([&] { queue.Call([&] { nextRan = true; }); });
  WaitFor([&] { return gui.wakes == 1; });
  Serve(queue);
  next.join();
  EXPECT_TRUE(nextRan);
}

TEST(HandOffQueue, WithoutAWakeTheGuiThreadWaitsForCallsAndExceptionsComeBack) {
  HandOffQueue queue;
  std::string failure;
  std::thread worker([&] {
    try {
      queue.Call([] { throw std::logic_error("thrown on the GUI thread"); });
    } catch (const std::logic_error& e) {
      failure = e.what();
    }
  });
  ASSERT_TRUE(queue.WaitQueued(std::chrono::steady_clock::now() + 10s));
  EXPECT_TRUE(queue.RunOne());
  worker.join();
  EXPECT_EQ(failure, "thrown on the GUI thread");
  EXPECT_FALSE(queue.WaitQueued(std::chrono::steady_clock::now() + 10ms));
}

// Several workers, each call handed back the moment it ran and the next queued at once: no
// worker may sleep through the end of its call, return before it, or get another's exception.
TEST(HandOffQueue, ManyWorkersEachGetBackTheirOwnCallsResult) {
  HandOffQueue queue;
  constexpr int kWorkers = 4;
  constexpr int kCalls = 2000;
  std::atomic<int> finished{0};
  std::vector<int> mismatches(kWorkers, 0);
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int n = 0; n < kCalls; ++n) {
        int ran = -1;
        try {
          queue.Call([&ran, w, n, kCalls] {
            ran = n;
            if (n % 7 == 0) throw std::runtime_error(std::to_string(w * kCalls + n));
          });
          if (n % 7 == 0) ++mismatches[w];
        } catch (const std::runtime_error& e) {
          if (e.what() != std::to_string(w * kCalls + n)) ++mismatches[w];
        }
        if (ran != n) ++mismatches[w];
      }
      ++finished;
    });
  }
  while (finished < kWorkers) {
    if (queue.WaitQueued(std::chrono::steady_clock::now() + 10ms)) queue.RunOne();
  }
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(mismatches, std::vector<int>(kWorkers, 0));
}

}  // namespace
}  // namespace kelta
