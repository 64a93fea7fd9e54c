#pragma once
// The running executable's folder: where the programs keep their files and find their
// ports/comN links. One file per system: ExecutableDir_linux.cpp, ExecutableDir_win32.cpp.

#include <string>

namespace kelta {

// Folder of the running executable with a trailing separator: the target of /proc/self/exe
// and '/' on Linux; the module path of GetModuleFileNameW, in UTF-8, and '\' on Windows.
// Throws std::system_error when the system cannot tell.
std::string ExecutableDir();

}  // namespace kelta
