#include "console/core/ReadingCsv.h"

#include <io.h>

#include <cerrno>

namespace kelta {

// The C run-time's way to FlushFileBuffers on the descriptor's handle.
int SyncFile(int fd) { return ::_commit(fd) == 0 ? 0 : errno; }

}  // namespace kelta
