#pragma once
// The waiting line every IGuiDispatcher shares: workers queue a call and block until the GUI
// thread ran it; the GUI thread runs what is queued when it is woken.
//
// What a hand-off costs, and why:
// - No allocation: a job lives on the calling worker's stack and is linked into the line
//   (intrusive), so queueing one is two pointer writes under a short lock.
// - One wake each way: the GUI thread is woken (Wake, the dispatcher's own kind: a posted event
//   or message, a condition variable) only when no wake is pending yet; the worker is woken once
//   when its job is done (one condition variable, notified after the lock is let go, so the
//   woken worker never blocks on the lock again).
// - Batches coalesce: while the GUI thread is busy elsewhere, every call queued joins the one
//   pending wake, and that wake runs them all in order.
// A call that itself runs a nested message loop (a modal box, a wait that processes messages)
// still lets later calls run inside that loop: before a call runs while others wait behind it,
// a wake is posted again for them.
//
// Threads: Call from any thread but the GUI thread; BeginRun/RunOne/WaitQueued only on the GUI
// thread (they may nest). lock_ guards the line, wakePending_ and every queued job's done.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>

namespace kelta {

class HandOffQueue {
 public:
  // wake: makes the GUI thread call BeginRun and RunOne until it returns false. It may throw
  // when the GUI thread cannot be reached; that call is then withdrawn and the exception raised
  // from Call. Without one, the GUI thread waits in WaitQueued and is woken there.
  explicit HandOffQueue(std::function<void()> wake = {}) : wake_(std::move(wake)) {}
  HandOffQueue(const HandOffQueue&) = delete;
  HandOffQueue& operator=(const HandOffQueue&) = delete;

  // Queues fn and blocks until the GUI thread ran it; an exception that escaped fn is raised
  // again here.
  void Call(const std::function<void()>& fn);

  // On the wake: the pending wake is being served, so a call queued from now on wakes again.
  void BeginRun();
  // Runs the first queued call; false when none was queued.
  bool RunOne();
  // For a GUI loop without events of its own (no wake given): blocks until a call is queued or
  // the deadline passed; false on the deadline. Then RunOne.
  bool WaitQueued(std::chrono::steady_clock::time_point deadline);
  // How many calls wait in the line now (any thread).
  std::size_t Queued();

 private:
  struct Job {
    const std::function<void()>* fn;
    Job* next = nullptr;
    std::exception_ptr error;
    bool done = false;
  };
  // Under lock_: takes job out of the line if it is still there.
  bool Withdraw(Job* job);

  const std::function<void()> wake_;
  std::mutex lock_;
  std::condition_variable arrived_;   // a job was queued (the wake when none was given)
  std::condition_variable finished_;  // a job's done became true
  Job* head_ = nullptr;
  Job* tail_ = nullptr;
  bool wakePending_ = false;  // a wake was asked for and the GUI thread has not begun it
};

}  // namespace kelta
