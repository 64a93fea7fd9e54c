#pragma once
// The POSIX calls the recorder's state files are kept with (the disk queue, the recorder's
// identity), for Windows, where the C runtime lacks them or does them otherwise. The Windows
// build puts this header before those files' own lines (apps/recorder/CMakeLists.txt), so
// their code is the same on both systems: declared in the recorder's namespace, these names
// are found before the C runtime's. win32/sys/random.h stands in for the header Linux
// declares getrandom in.
//
// A folder descriptor (StateFolder::Fd on Windows) is a C runtime descriptor of the folder's
// handle; the *at calls resolve names in the folder that handle holds open.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace kelta::record {

// Windows has no disk quota error of its own in the C runtime: a quota reached is a full disk.
inline constexpr int EDQUOT = ENOSPC;

// Positional reads and writes on the descriptor's handle (the file position is not used).
ssize_t pread(int fd, void* data, size_t size, off_t offset);
ssize_t pwrite(int fd, const void* data, size_t size, off_t offset);
// The file's data and its size onto the disk (FlushFileBuffers).
int fdatasync(int fd);
// name in the folder dirFd; flags must be 0.
int unlinkat(int dirFd, const char* name, int flags);
// Renames from over to (both in their folders), replacing a file there even while it is open
// (the queue's files are opened with deletion shared).
int renameat(int fromDirFd, const char* from, int toDirFd, const char* to);
// size bytes from the system's random number generator; flags must be 0.
ssize_t getrandom(void* data, size_t size, unsigned int flags);

}  // namespace kelta::record
