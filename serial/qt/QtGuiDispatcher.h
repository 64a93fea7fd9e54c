#pragma once
// IGuiDispatcher on Qt: a worker's call is queued to the application object's thread (the GUI
// thread) with a blocking queued connection and runs whenever that thread processes events —
// in the idle loop, in a wait that processes events, inside modal boxes.
// Needs a QCoreApplication (or QApplication); construct and install it on the GUI thread:
//   kelta::SetDefaultGuiDispatcher(std::make_shared<kelta::TVaQtDispatcher>());

#include "serial/GuiDispatcher.h"

namespace kelta {

class TVaQtDispatcher : public IGuiDispatcher {
 public:
  // Throws std::logic_error when there is no application object yet.
  void Call(const std::function<void()>& fn) override;
};

}  // namespace kelta
