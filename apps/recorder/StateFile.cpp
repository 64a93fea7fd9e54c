#include "apps/recorder/StateFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "base/FdIo.h"

namespace kelta::record {

std::optional<std::string> ReadStateFile(const StateFolder& folder, const char* name,
                                         size_t maxBytes) {
  const int fd = folder.Open(name, O_RDONLY);
  if (fd < 0 && errno == ENOENT) return std::nullopt;
  if (fd < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot open " + folder.Path() + name);
  }
  std::string text(maxBytes + 1, '\0');
  const FdIoResult read = ReadAll(fd, text.data(), text.size());
  close(fd);
  if (read.err != 0) {
    throw std::system_error(read.err, std::generic_category(),
                            "cannot read " + folder.Path() + name);
  }
  text.resize(read.done);
  return text;
}

int ReplaceStateFile(const StateFolder& folder, const char* name, const char* temp,
                     const std::string& text) {
  unlinkat(folder.Fd(), temp, 0);
  int fd = -1;
  try {
    fd = folder.Open(temp, O_WRONLY | O_CREAT | O_EXCL);
  } catch (const UnsafeState&) {
    return EPERM;  // put there between the removal and the open: not used
  }
  if (fd < 0) return errno;
  int err = WriteAll(fd, text.data(), text.size()).err;
  if (err == 0 && fdatasync(fd) != 0) err = errno;
  if (close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && renameat(folder.Fd(), temp, folder.Fd(), name) != 0) err = errno;
  if (err != 0) {
    unlinkat(folder.Fd(), temp, 0);
    return err;
  }
  return folder.Sync();
}

}  // namespace kelta::record
