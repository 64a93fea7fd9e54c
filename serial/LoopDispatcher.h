#pragma once
// A GUI loop without a GUI library: the thread that created the dispatcher is its GUI thread
// and runs handed-off calls whenever it pumps (RunFor, RunUntil, RunPending). Pumping blocks on
// a condition variable until a call arrives or the deadline passes; it never spins.
//
// Threads: Call from any thread; the Run* functions only on the GUI thread (they may nest, as a
// handler that waits while processing messages does). The waiting line is HandOffQueue's.
// Destroy it only when no thread can be inside Call: ports and their workers hold it through a
// shared_ptr, which sees to that.

#include <chrono>
#include <functional>
#include <thread>

#include "serial/GuiDispatcher.h"
#include "serial/HandOffQueue.h"

namespace kelta {

class LoopDispatcher : public IGuiDispatcher {
 public:
  LoopDispatcher();

  void Call(const std::function<void()>& fn) override;

  // Runs calls until the time has passed.
  void RunFor(std::chrono::milliseconds time);
  // Runs calls until done() holds (tested after each call and at the start) or the time has
  // passed; returns done().
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
  // Runs the calls queued now; returns how many ran.
  int RunPending();

  bool OnGuiThread() const { return std::this_thread::get_id() == guiThread_; }

 private:
  // Runs one queued call if there is one before the deadline; false when the deadline passed.
  bool RunOne(std::chrono::steady_clock::time_point deadline);

  const std::thread::id guiThread_;
  HandOffQueue queue_;
};

}  // namespace kelta
