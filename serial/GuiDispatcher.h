#pragma once
// How the port's worker threads hand a call to the GUI thread. Call runs fn on the GUI thread
// and returns only after it has run there; an exception that escapes fn is raised again from
// Call in the calling thread. Called on the GUI thread itself, fn runs at once.
// Implementations: LoopDispatcher (LoopDispatcher.h, no Qt), QtDispatcher
// (qt/QtGuiDispatcher.h, Qt's blocking queued call) and Win32Dispatcher
// (win32/Win32GuiDispatcher.h, a message to a window of the GUI thread, Windows only).

#include <functional>
#include <memory>

namespace kelta {

class IGuiDispatcher {
 public:
  virtual ~IGuiDispatcher() = default;
  virtual void Call(const std::function<void()>& fn) = 0;
};

// The dispatcher new ports take at construction (none until the program installs one).
// Install it on the GUI thread before the first port is made.
void SetDefaultGuiDispatcher(std::shared_ptr<IGuiDispatcher> dispatcher);
std::shared_ptr<IGuiDispatcher> DefaultGuiDispatcher();

}  // namespace kelta
