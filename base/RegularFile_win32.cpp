#include "base/RegularFile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace kelta {

namespace {

// The program's paths are UTF-8; Windows names files in UTF-16, so every path is widened
// before it reaches the system (the narrow calls would read it in the ANSI code page).
std::wstring WidePath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end())).wstring();
}

}  // namespace

std::string FileKind(mode_t mode) {
  if (S_ISFIFO(mode)) return "FIFO";
  if (S_ISDIR(mode)) return "folder";
  if (S_ISCHR(mode)) return "character device";
  if (S_ISBLK(mode)) return "block device";
  return "special file";
}

RegularFile OpenRegularFile(const std::string& path, int flags, mode_t createMode) {
  RegularFile file;
  const std::wstring wide = WidePath(path);
  struct _stat64 st;
  if (::_wstat64(wide.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    file.kind = FileKind(st.st_mode);
    return file;
  }
  // Binary, so the bytes are stored as they are (no CR LF translation, no end at ^Z); not
  // inherited by programs this one starts.
  const int permissions = (createMode & 0400 ? _S_IREAD : 0) | (createMode & 0200 ? _S_IWRITE : 0);
  const int fd = ::_wopen(wide.c_str(), flags | _O_BINARY | _O_NOINHERIT, permissions);
  if (fd < 0) {
    file.err = errno;
    return file;
  }
  // A device name (NUL, CON, COM1) passes the look-up above and opens as a character device.
  if (::_fstat64(fd, &st) != 0) {
    file.err = errno;
    ::_close(fd);
    return file;
  }
  if (!S_ISREG(st.st_mode)) {
    file.kind = FileKind(st.st_mode);
    ::_close(fd);
    return file;
  }
  file.size = static_cast<std::uint64_t>(st.st_size);
  file.fd = fd;
  return file;
}

int PathError(const std::string& path) {
  struct _stat64 st;
  return ::_wstat64(WidePath(path).c_str(), &st) == 0 ? 0 : errno;
}

}  // namespace kelta
