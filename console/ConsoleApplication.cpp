#include "console/ConsoleApplication.h"

#include <QDebug>

#include <stdexcept>

namespace kelta {

bool ConsoleApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    if (hook_)
      hook_(e);
    else
      qWarning().noquote() << e.what();
  } catch (...) {
    if (hook_)
      hook_(std::runtime_error("Unknown exception"));
    else
      qWarning("Unknown exception");
  }
  return false;
}

}  // namespace kelta
