#include "serial/GuiDispatcher.h"

#include <mutex>

namespace kelta {

namespace {
std::mutex defaultLock;  // guards defaultDispatcher
std::shared_ptr<IGuiDispatcher> defaultDispatcher;
}  // namespace

void SetDefaultGuiDispatcher(std::shared_ptr<IGuiDispatcher> dispatcher) {
  std::lock_guard<std::mutex> hold(defaultLock);
  defaultDispatcher = std::move(dispatcher);
}

std::shared_ptr<IGuiDispatcher> DefaultGuiDispatcher() {
  std::lock_guard<std::mutex> hold(defaultLock);
  return defaultDispatcher;
}

}  // namespace kelta
