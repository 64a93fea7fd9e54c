#pragma once
// Opening the console's own files ("UserSet.dat", "LogFile.Log", "help.txt") so that
// something else in a file's place cannot hang the program: a FIFO blocks a plain open until
// another program opens its other end, and a device (/dev/zero) never ends. Safe on any thread.
// Paths are UTF-8; the descriptors are the C run-time's (read, write, close), in binary mode.
// RegularFile_linux.cpp and RegularFile_win32.cpp hold the two systems' ways.

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "base/Errors.h"

namespace kelta {

// What a path names when it is not a regular file: "FIFO", "folder", "character device",
// "block device", "socket"; "special file" for anything else.
std::string FileKind(mode_t mode);

// The outcome of OpenRegularFile: fd >= 0 when it opened, and size is the file's length then;
// otherwise err is the errno of the failed call, or 0 when the path names something other than
// a regular file (kind says what).
struct RegularFile {
  int fd = -1;
  int err = 0;
  std::string kind;
  std::uint64_t size = 0;
};

// Opens path with flags plus O_NONBLOCK, O_NOCTTY and O_CLOEXEC. An existing path that is not
// a regular file (links followed) is refused before it is opened, so no device sees an open,
// and again on the opened descriptor, in case something else took its place meanwhile.
RegularFile OpenRegularFile(const std::string& path, int flags, mode_t createMode = 0644);

// 0 when something exists at path (links followed), else the errno of the look-up (ENOENT:
// nothing there).
int PathError(const std::string& path);

// The input/output error for a failed OpenRegularFile: FileError(action, path, err) when a
// call failed, else `<action> "<path>" (not a regular file: <kind>)` with error code 0.
EInOutError OpenFailure(const char* action, const std::string& path, const RegularFile& file);

}  // namespace kelta
