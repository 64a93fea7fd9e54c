// KELTA_Dispaly: the sensor console.

#include "console/ConsoleApplication.h"
#include "console/UKELTA_Display.h"
#include "serial/portmap/PortMap.h"

#include <cstdio>
#include <exception>

namespace {

int RunConsole(int argc, char* argv[]) {
  kelta::ConsoleApplication app(argc, argv);
  kelta::ConsoleApplication::setApplicationName(QStringLiteral("KELTA_Dispaly"));
  // Help windows may still be open; the program ends with the main window.
  kelta::ConsoleApplication::setQuitOnLastWindowClosed(false);

  kelta::TFVANTORIS window(kelta::ConsoleApplication::ExecutableFolder(&kelta::ExecutableDir));
  app.SetExceptionHook([&window](const std::exception& e) {
    kelta::TConsoleForm& form = window.Form();
    form.Guarded([&form, &e] { form.AppException(e); });
  });
  QObject::connect(&window, &kelta::TFVANTORIS::Closed, &app, &QApplication::quit);
  window.show();
  const int rc = kelta::ConsoleApplication::exec();
  app.SetExceptionHook(nullptr);
  return rc;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Whatever the window's own handlers could not take (a failure while it is built or torn
  // down) ends the program with a message, not with std::terminate.
  try {
    return RunConsole(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "KELTA_Dispaly: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "KELTA_Dispaly: Unknown exception\n");
  }
  return 1;
}
