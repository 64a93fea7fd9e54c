#pragma once
// The program's application object. Qt must never see a C++ exception leave an event
// handler; the window's own handlers are guarded one by one, and this is the last net for
// anything else (a paint or key event of a control): it goes to the exception hook.

#include <QApplication>

#include <exception>
#include <functional>
#include <string>

namespace kelta {

class ConsoleApplication : public QApplication {
 public:
  using QApplication::QApplication;
  // The window's exception handler; until it is set, escaping errors go to stderr.
  void SetExceptionHook(std::function<void(const std::exception&)> hook) {
    hook_ = std::move(hook);
  }
  bool notify(QObject* receiver, QEvent* event) override;

  // The folder of the program's files ("UserSet.dat", "LogFile.Log", "help.txt", "ports/"),
  // with a trailing '/': what exeDirReader gives (the folder of /proc/self/exe), or, when it
  // fails (no /proc in a container or chroot), Qt's application folder, which falls back on
  // the program's path as it was started. Empty (the current folder) when neither knows.
  static std::string ExecutableFolder(const std::function<std::string()>& exeDirReader);

 private:
  std::function<void(const std::exception&)> hook_;
};

}  // namespace kelta
