#pragma once
// IGuiDispatcher on Windows without a class library: a worker's call waits in a HandOffQueue
// and the GUI thread is woken by a WM_NULL message posted to a message-only window of its own
// (one message for every call queued until it is dispatched); the calls run when the GUI
// thread's message loop dispatches that message, so also inside any loop that dispatches
// messages (modal boxes, waits that process messages). The worker blocks until the call has
// run; an exception that escapes the call is raised again in the worker.
//
// Threads: construct on the GUI thread (the window belongs to it); Call from any thread.
// Ports and their workers hold the dispatcher through a shared_ptr, so it is destroyed only
// when no thread can be inside Call — possibly on a worker, and then its window and line are
// freed later, on the GUI thread.

#include <chrono>
#include <functional>
#include <thread>

#include "serial/GuiDispatcher.h"

namespace kelta {

class Win32Dispatcher : public IGuiDispatcher {
 public:
  // Throws std::system_error when the window cannot be made.
  Win32Dispatcher();
  ~Win32Dispatcher() override;
  Win32Dispatcher(const Win32Dispatcher&) = delete;
  Win32Dispatcher& operator=(const Win32Dispatcher&) = delete;

  // Throws std::runtime_error (without running fn) when the GUI thread can no longer be
  // reached: its window is gone.
  void Call(const std::function<void()>& fn) override;

  // A message loop for the GUI thread: dispatches every message of the thread until done()
  // holds (tested at the start and after each message) or the time has passed; returns done().
  // Blocks while no message arrives.
  static bool PumpMessages(const std::function<bool()>& done, std::chrono::milliseconds limit);

  struct Core;  // the window and the waiting line (for the window procedure)

 private:
  const std::thread::id guiThread_;
  Core* core_ = nullptr;  // freed on the GUI thread
};

}  // namespace kelta
