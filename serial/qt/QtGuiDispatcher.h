#pragma once
// IGuiDispatcher on Qt: a worker's call waits in a HandOffQueue and the GUI thread is woken
// by an event posted to an object of its own; the calls run whenever that thread processes
// events — in the idle loop, in a wait that processes events, inside modal boxes. One event
// serves every call queued until it is delivered, and the event's memory is taken from a small
// store kept for it, so a hand-off allocates nothing.
// Needs a QCoreApplication (or QApplication); construct and install it on the GUI thread (the
// object the events go to belongs to the thread that constructs it):
//   kelta::SetDefaultGuiDispatcher(std::make_shared<kelta::QtDispatcher>());

#include <functional>

#include "serial/GuiDispatcher.h"

class QObject;

namespace kelta {

class QtDispatcher : public IGuiDispatcher {
 public:
  QtDispatcher();
  ~QtDispatcher() override;
  QtDispatcher(const QtDispatcher&) = delete;
  QtDispatcher& operator=(const QtDispatcher&) = delete;

  // Throws std::logic_error when there is no application object yet.
  void Call(const std::function<void()>& fn) override;

 private:
  // The GUI thread's object the wake events go to; it owns the waiting line and is deleted on
  // the GUI thread, whichever thread lets go of the dispatcher last.
  QObject* receiver_;
};

}  // namespace kelta
