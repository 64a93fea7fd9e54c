#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "graphics/png/PngFileAccess.h"

namespace kelta::gfx::png_file {
namespace {

// What a path names when it is not a regular file.
const char* FileKind(unsigned Mode) {
  if (S_ISFIFO(Mode)) return "FIFO";
  if (S_ISCHR(Mode)) return "character device";
  if (S_ISBLK(Mode)) return "block device";
  return "special file";
}

// A folder gets the reason the other system gives ("Is a directory"; opening one here would
// say only "Permission denied").
std::string RefusalOf(const struct _stat64& St) {
  return S_ISDIR(St.st_mode) ? std::string(std::strerror(EISDIR))
                             : std::string("Not a regular file: ") + FileKind(St.st_mode);
}

}  // namespace

// A device name such as CON or COM1 might never end. The name is widened from UTF-8 for the
// system; the file is read in binary, so no byte of the picture is translated.
int OpenRegular(const std::string& FileName, std::uint64_t& Size, std::string& Reason) {
  const std::wstring wide =
      std::filesystem::path(std::u8string(FileName.begin(), FileName.end())).wstring();
  struct _stat64 st {};
  if (::_wstat64(wide.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    Reason = RefusalOf(st);
    return -1;
  }
  const int fd = ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    Reason = std::strerror(errno);
    return -1;
  }
  if (::_fstat64(fd, &st) != 0) {
    Reason = std::strerror(errno);
    ::_close(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    Reason = RefusalOf(st);
    ::_close(fd);
    return -1;
  }
  Size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

long long ReadSome(int Fd, std::uint8_t* Data, std::size_t Size) {
  const unsigned want = Size > INT_MAX ? INT_MAX : static_cast<unsigned>(Size);
  return ::_read(Fd, Data, want);
}

void Close(int Fd) {
  if (Fd >= 0) ::_close(Fd);
}

}  // namespace kelta::gfx::png_file
