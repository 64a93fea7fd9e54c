// KELTA_Dispaly for Windows: the sensor console as a native Windows program.

#include "console/win32/MainWindow.h"
#include "console/win32/Utf16.h"
#include "serial/portmap/PortMap.h"

#include <windows.h>

#include <exception>
#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  // Whatever the window's own handlers could not take (a failure while it is built or torn
  // down) ends the program with a message.
  try {
    // The program's files ("UserSet.dat", "LogFile.Log", "help.txt", the port map) lie beside
    // it, and so do the dial pictures (img/), which are named relative to the current folder.
    const std::string dir = kelta::ExecutableDir();
    ::SetCurrentDirectoryW(kelta::win32::Widen(dir).c_str());
    kelta::win32::TMainWindow window(instance, dir);
    return window.Run(show);
  } catch (const std::exception& e) {
    ::MessageBoxW(nullptr, kelta::win32::Widen(e.what()).c_str(),
                  kelta::win32::TMainWindow::kAppName, MB_OK | MB_ICONERROR);
  } catch (...) {
    ::MessageBoxW(nullptr, L"Unknown exception", kelta::win32::TMainWindow::kAppName,
                  MB_OK | MB_ICONERROR);
  }
  return 1;
}
