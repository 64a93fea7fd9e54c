// On Linux the window's messages are the serial port's hand-offs, run by the loop dispatcher.
#include "tests/console/form/RecordingWindow.h"

#include "serial/LoopDispatcher.h"

namespace kelta::test {

std::shared_ptr<IGuiDispatcher> RecordingWindow::NewDispatcher() {
  return std::make_shared<LoopDispatcher>();
}

void RecordingWindow::RunMessages(const std::function<bool()>& done,
                                  std::chrono::milliseconds limit) {
  auto& loop = static_cast<LoopDispatcher&>(*dispatcher);
  if (limit.count() <= 0) {
    loop.RunPending();
  } else {
    loop.RunUntil(done, limit);
  }
}

}  // namespace kelta::test
