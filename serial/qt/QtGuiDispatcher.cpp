#include "serial/qt/QtGuiDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>
#include <stdexcept>

namespace kelta {

void TVaQtDispatcher::Call(const std::function<void()>& fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) throw std::logic_error("TVaQtDispatcher: no application object");
  if (QThread::currentThread() == app->thread()) {
    fn();  // a blocking queued call to its own thread would never return
    return;
  }
  // No exception may cross Qt's event loop: caught there, carried back, raised here.
  std::exception_ptr error;
  const bool queued = QMetaObject::invokeMethod(
      app,
      [&fn, &error] {
        try {
          fn();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (!queued) throw std::runtime_error("TVaQtDispatcher: the GUI thread takes no calls");
  if (error) std::rethrow_exception(error);
}

}  // namespace kelta
