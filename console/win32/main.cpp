// KELTA_Dispaly for Windows: the sensor console as a native Windows program.

#include "base/ConsoleFolders.h"
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
    // The program's files ("UserSet.dat", "LogFile.Log", the port map) lie beside it when it
    // may write there, else in the user's data folder; "help.txt" and the dial pictures (img/,
    // named relative to the current folder) beside it or in the installed data folder.
    const kelta::ConsoleFolders folders = kelta::ConsoleFoldersFor(kelta::ExecutableDir());
    ::SetCurrentDirectoryW(kelta::win32::Widen(folders.data).c_str());
    kelta::win32::MainWindow window(instance, folders.files, folders.data);
    return window.Run(show);
  } catch (const std::exception& e) {
    ::MessageBoxW(nullptr, kelta::win32::Widen(e.what()).c_str(),
                  kelta::win32::MainWindow::kAppName, MB_OK | MB_ICONERROR);
  } catch (...) {
    ::MessageBoxW(nullptr, L"Unknown exception", kelta::win32::MainWindow::kAppName,
                  MB_OK | MB_ICONERROR);
  }
  return 1;
}
