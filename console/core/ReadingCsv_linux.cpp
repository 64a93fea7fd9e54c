#include "console/core/ReadingCsv.h"

#include <unistd.h>

#include <cerrno>

namespace kelta {

int SyncFile(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

}  // namespace kelta
