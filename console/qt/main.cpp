// KELTA_Dispaly: the sensor console.

#include "base/ConsoleFolders.h"
#include "console/qt/ConsoleApplication.h"
#include "console/qt/ReadOnce.h"
#include "console/qt/UKELTA_Display.h"
#include "serial/portmap/PortMap.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <optional>

namespace {

int RunConsole(int argc, char* argv[]) {
  kelta::ConsoleApplication app(argc, argv);
  kelta::ConsoleApplication::setApplicationName(QStringLiteral("KELTA_Dispaly"));
  // The installed launcher: desktops match the window to it (its name and icon).
  kelta::ConsoleApplication::setDesktopFileName(QStringLiteral("kelta-display"));
  // Help windows may still be open; the program ends with the main window.
  kelta::ConsoleApplication::setQuitOnLastWindowClosed(false);

  QStringList args = kelta::ConsoleApplication::arguments();
  args.removeFirst();
  const std::optional<QString> readOncePort = kelta::ReadOncePort(args);

  const std::string exeDir = kelta::ConsoleApplication::ExecutableFolder(&kelta::ExecutableDir);
  const kelta::ConsoleFolders folders = kelta::ConsoleFoldersFor(exeDir);
  // The dial pictures are named relative to the current folder (img/...): a portable copy
  // finds them where it is started (tools/run.sh starts it in the repository), an installed
  // one in its installed data folder.
  if (folders.data != exeDir && ::chdir(folders.data.c_str()) != 0)
    std::perror(("KELTA_Dispaly: " + folders.data).c_str());
  kelta::TFVANTORIS window(folders.files);
  window.SetHelpFolder(folders.data);
  app.SetExceptionHook([&window](const std::exception& e) {
    kelta::ConsoleForm& form = window.Form();
    form.Guarded([&form, &e] { form.AppException(e); });
  });
  const int rc = app.RunWindow(window, [&window, &readOncePort] {
    if (readOncePort) kelta::StartReadOnce(window, *readOncePort);
  });
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
