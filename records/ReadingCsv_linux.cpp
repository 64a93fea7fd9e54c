#include "records/ReadingCsv.h"

#include <unistd.h>

#include <cerrno>

namespace kelta {

int SyncFile(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

int TruncateFile(int fd, uint64_t bytes) {
  return ::ftruncate(fd, static_cast<off_t>(bytes)) == 0 ? 0 : errno;
}

}  // namespace kelta
