// KELTA_Dispaly: the sensor console.

#include "console/ConsoleApplication.h"
#include "console/UKELTA_Display.h"
#include "serial/portmap/PortMap.h"

int main(int argc, char* argv[]) {
  kelta::ConsoleApplication app(argc, argv);
  kelta::ConsoleApplication::setApplicationName(QStringLiteral("KELTA_Dispaly"));
  // Help windows may still be open; the program ends with the main window.
  kelta::ConsoleApplication::setQuitOnLastWindowClosed(false);

  kelta::TFVANTORIS window(kelta::ExecutableDir());
  app.SetExceptionHook([&window](const std::exception& e) {
    window.Guarded([&window, &e] { window.AppException(e); });
  });
  QObject::connect(&window, &kelta::TFVANTORIS::Closed, &app, &QApplication::quit);
  window.show();
  const int rc = kelta::ConsoleApplication::exec();
  app.SetExceptionHook(nullptr);
  return rc;
}
