#pragma once
// The program's application object. Qt must never see a C++ exception leave an event
// handler; the window's own handlers are guarded one by one, and this is the last net for
// anything else (a paint or key event of a control): it goes to the exception hook.

#include <QApplication>

class QSocketNotifier;

#include <exception>
#include <functional>
#include <string>

namespace kelta {

class TFVANTORIS;

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

  // Runs the program's main window until it has closed and returns the event loop's code:
  // `started` once the loop runs; the session's end signals close the window as its title bar
  // does (CloseOnSignals); a display that goes away still keeps the form's recording and
  // settings (SetAbruptExitHook, cleared again on return); the loop ends with the window.
  int RunWindow(TFVANTORIS& window, const std::function<void()>& started = {});

  // SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, a closed terminal, Ctrl+C) close `window`
  // as its title bar does: the handler only wakes the event loop, which closes the window, so
  // the program ends as after any close. The window must outlive the event loop.
  void CloseOnSignals(QWidget& window);

  // Run once if the program ends through exit() on this (the GUI) thread while it is set:
  // what Qt does when the display goes away (the X server or the compositor ended). The
  // window still stands then, but the event loop never runs again. Cleared with nullptr
  // before what it uses goes.
  static void SetAbruptExitHook(std::function<void()> hook);

 private:
  std::function<void(const std::exception&)> hook_;
  QSocketNotifier* signalNotifier_ = nullptr;
};

}  // namespace kelta
