// On Windows the serial port's hand-offs are window messages to the dispatcher's own window,
// run by a message loop as the Windows console's waits run them.
#include "tests/console/form/RecordingWindow.h"

#include "serial/win32/Win32GuiDispatcher.h"

namespace kelta::test {

std::shared_ptr<IGuiDispatcher> RecordingWindow::NewDispatcher() {
  return std::make_shared<Win32Dispatcher>();
}

void RecordingWindow::RunMessages(const std::function<bool()>& done,
                                  std::chrono::milliseconds limit) {
  Win32Dispatcher::PumpMessages(done, limit);
}

}  // namespace kelta::test
