#include "serial/HandOffQueue.h"

#include <utility>

namespace kelta {

void HandOffQueue::Call(const std::function<void()>& fn) {
  Job job{&fn, nullptr, nullptr, false};
  bool wake;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (tail_) {
      tail_->next = &job;
    } else {
      head_ = &job;
    }
    tail_ = &job;
    wake = !wakePending_;
    wakePending_ = true;
  }
  if (wake) {
    if (!wake_) {
      arrived_.notify_one();
    } else {
      try {
        wake_();
      } catch (...) {
        std::lock_guard<std::mutex> hold(lock_);
        // Nothing will come to run it; unless a run already under way took it, withdraw it.
        if (Withdraw(&job)) {
          wakePending_ = false;
          throw;
        }
      }
    }
  }
  std::unique_lock<std::mutex> hold(lock_);
  finished_.wait(hold, [&job] { return job.done; });
  hold.unlock();
  if (job.error) std::rethrow_exception(job.error);
}

bool HandOffQueue::Withdraw(Job* job) {
  Job* before = nullptr;
  for (Job* at = head_; at; before = at, at = at->next) {
    if (at != job) continue;
    (before ? before->next : head_) = at->next;
    if (tail_ == at) tail_ = before;
    return true;
  }
  return false;
}

void HandOffQueue::BeginRun() {
  std::lock_guard<std::mutex> hold(lock_);
  wakePending_ = false;
}

bool HandOffQueue::RunOne() {
  Job* job;
  bool rewake = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    job = head_;
    if (!job) return false;
    head_ = job->next;
    if (!head_) tail_ = nullptr;
    // Others wait behind it and this call may run a loop of its own: let them run there.
    if (head_ && !wakePending_ && wake_) {
      wakePending_ = true;
      rewake = true;
    }
  }
  if (rewake) {
    try {
      wake_();
    } catch (...) {
      // Only after this call returns, then: the run under way goes on with the rest.
      std::lock_guard<std::mutex> hold(lock_);
      wakePending_ = false;
    }
  }
  std::exception_ptr error;
  try {
    (*job->fn)();
  } catch (...) {
    error = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    job->error = std::move(error);  // nothing of it is let go outside the lock
    job->done = true;               // from here on the job may be gone: its worker can return
  }
  // After the lock is let go: the woken worker takes it at once instead of blocking on it.
  finished_.notify_all();
  return true;
}

bool HandOffQueue::WaitQueued(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> hold(lock_);
  // About to block: a call queued from now on must wake this wait.
  wakePending_ = false;
  return arrived_.wait_until(hold, deadline, [this] { return head_ != nullptr; });
}

std::size_t HandOffQueue::Queued() {
  std::lock_guard<std::mutex> hold(lock_);
  std::size_t n = 0;
  for (Job* at = head_; at; at = at->next) ++n;
  return n;
}

}  // namespace kelta
