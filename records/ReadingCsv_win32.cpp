#include "records/ReadingCsv.h"

#include <io.h>

#include <cerrno>

namespace kelta {

// The C run-time's way to FlushFileBuffers on the descriptor's handle.
int SyncFile(int fd) { return ::_commit(fd) == 0 ? 0 : errno; }

// The C run-time's way to SetFilePointerEx and SetEndOfFile on the descriptor's handle; its
// 64-bit form, so files past 2 GiB are cut right too.
int TruncateFile(int fd, uint64_t bytes) { return ::_chsize_s(fd, static_cast<__int64>(bytes)); }

}  // namespace kelta
