#pragma once
// The program's application object. Qt must never see a C++ exception leave an event
// handler; the window's own handlers are guarded one by one, and this is the last net for
// anything else (a paint or key event of a control): it goes to the exception hook.

#include <QApplication>

#include <exception>
#include <functional>

namespace kelta {

class ConsoleApplication : public QApplication {
 public:
  using QApplication::QApplication;
  // The window's exception handler; until it is set, escaping errors go to stderr.
  void SetExceptionHook(std::function<void(const std::exception&)> hook) {
    hook_ = std::move(hook);
  }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  std::function<void(const std::exception&)> hook_;
};

}  // namespace kelta
