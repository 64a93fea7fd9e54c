#include "console/qt/ConsoleApplication.h"

#include "base/Errors.h"
#include "console/qt/UKELTA_Display.h"

#include <QDebug>
#include <QSocketNotifier>
#include <QWidget>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace kelta {

namespace {

// The signal handler's end of the pair (written) and the event loop's (read).
int signalPair[2] = {-1, -1};

void WakeOnSignal(int) {
  // Only what is safe in a handler: one byte into a non-blocking socket; a full socket has a
  // wake pending already.
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPair[0], &byte, 1);
  errno = saved;
}

struct AbruptExit {
  std::mutex mutex;
  std::function<void()> hook;
  std::thread::id thread;
};

AbruptExit& Abrupt() {
  // Never destroyed: exit() may run the handler after the static objects are gone.
  static auto* abrupt = new AbruptExit;
  return *abrupt;
}

void RunAbruptExitHook() {
  AbruptExit& a = Abrupt();
  std::function<void()> hook;
  {
    const std::lock_guard lock(a.mutex);
    // From another thread the GUI thread may be inside the window's code at this moment.
    if (a.thread != std::this_thread::get_id()) return;
    hook = std::move(a.hook);
    a.hook = nullptr;
  }
  if (!hook) return;
  try {
    hook();
  } catch (...) {
    // The program ends whatever happens; nobody is left to tell.
  }
}

}  // namespace

int ConsoleApplication::RunWindow(TFVANTORIS& window, const std::function<void()>& started) {
  const QMetaObject::Connection quit =
      connect(&window, &TFVANTORIS::Closed, this, &QCoreApplication::quit);
  CloseOnSignals(window);
  SetAbruptExitHook([&window] { window.Form().ProgramEnding(); });
  window.show();
  if (started) started();
  const int rc = exec();
  SetAbruptExitHook(nullptr);
  disconnect(quit);
  return rc;
}

void ConsoleApplication::CloseOnSignals(QWidget& window) {
  if (signalNotifier_ != nullptr) return;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPair) != 0) {
    std::perror("KELTA_Dispaly: no signal handling");
    return;
  }
  signalNotifier_ = new QSocketNotifier(signalPair[1], QSocketNotifier::Read, this);
  QObject::connect(signalNotifier_, &QSocketNotifier::activated, &window, [&window] {
    char bytes[16];
    while (::read(signalPair[1], bytes, sizeof bytes) > 0) {
    }
    // As the title bar's close, also from inside a wait or a box: the window's close ends
    // every wait, closes the port, the recording and saves the settings.
    window.close();
  });
  struct sigaction action {};
  action.sa_handler = WakeOnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signal, &action, nullptr);
}

void ConsoleApplication::SetAbruptExitHook(std::function<void()> hook) {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(RunAbruptExitHook); });
  AbruptExit& a = Abrupt();
  const std::lock_guard lock(a.mutex);
  a.hook = std::move(hook);
  a.thread = std::this_thread::get_id();
}

bool ConsoleApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const EAbort&) {
    // The silent abort is never reported, wherever it is caught.
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

std::string ConsoleApplication::ExecutableFolder(const std::function<std::string()>& exeDirReader) {
  try {
    return exeDirReader();
  } catch (const std::exception& e) {
    qWarning().noquote() << e.what() << "- using the application folder instead";
  }
  if (QCoreApplication::instance() == nullptr) return {};
  const QString dir = QCoreApplication::applicationDirPath();
  if (dir.isEmpty()) return {};
  return dir.endsWith(QLatin1Char('/')) ? dir.toStdString() : dir.toStdString() + '/';
}

}  // namespace kelta
