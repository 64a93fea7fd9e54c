#include "serial/LoopDispatcher.h"

namespace kelta {

TVaLoopDispatcher::TVaLoopDispatcher() : guiThread_(std::this_thread::get_id()) {}

void TVaLoopDispatcher::Call(const std::function<void()>& fn) {
  if (OnGuiThread()) {
    fn();
    return;
  }
  Job job{&fn, nullptr, false};
  std::unique_lock<std::mutex> hold(lock_);
  queue_.push_back(&job);
  arrived_.notify_one();
  finished_.wait(hold, [&job] { return job.done; });
  if (job.error) std::rethrow_exception(job.error);
}

bool TVaLoopDispatcher::RunOne(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> hold(lock_);
  if (!arrived_.wait_until(hold, deadline, [this] { return !queue_.empty(); })) return false;
  Job* job = queue_.front();
  queue_.pop_front();
  hold.unlock();
  std::exception_ptr error;
  try {
    (*job->fn)();
  } catch (...) {
    error = std::current_exception();
  }
  hold.lock();
  job->error = error;
  job->done = true;
  finished_.notify_all();
  return true;
}

void TVaLoopDispatcher::RunFor(std::chrono::milliseconds time) {
  const auto deadline = std::chrono::steady_clock::now() + time;
  while (RunOne(deadline)) {
  }
}

bool TVaLoopDispatcher::RunUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (!RunOne(deadline)) return done();
  }
  return true;
}

int TVaLoopDispatcher::RunPending() {
  int ran = 0;
  const auto now = std::chrono::steady_clock::now();
  while (RunOne(now)) ++ran;
  return ran;
}

}  // namespace kelta
