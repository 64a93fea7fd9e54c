#include "graphics/png/PngFileSource.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "graphics/png/PngErrors.h"

namespace kelta::gfx {
namespace {

// What a path names when it is not a regular file.
const char* FileKind(unsigned Mode) {
  if (S_ISFIFO(Mode)) return "FIFO";
  if (S_ISCHR(Mode)) return "character device";
  if (S_ISBLK(Mode)) return "block device";
  return "special file";
}

class TFileSource final : public TPngSource {
 public:
  // Only a regular file is a picture (a device name such as CON or COM1 might never end). The
  // name is widened from UTF-8 for the system; the file is read in binary, so no byte of the
  // picture is translated.
  explicit TFileSource(const std::string& FileName) {
    const std::wstring wide =
        std::filesystem::path(std::u8string(FileName.begin(), FileName.end())).wstring();
    struct _stat64 st {};
    if (::_wstat64(wide.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) Refuse(FileName, st);
    fd_ = ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd_ < 0) Fail(FileName, std::strerror(errno));
    if (::_fstat64(fd_, &st) != 0) Fail(FileName, std::strerror(errno));
    if (!S_ISREG(st.st_mode)) Refuse(FileName, st);
    size_ = static_cast<std::uint64_t>(st.st_size);
  }
  ~TFileSource() override {
    if (fd_ >= 0) ::_close(fd_);
  }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;

  std::optional<std::uint64_t> Size() const noexcept override { return size_; }

  bool Read(std::uint8_t* Data, std::size_t Size) noexcept override {
    while (Size > 0) {
      const unsigned want = Size > INT_MAX ? INT_MAX : static_cast<unsigned>(Size);
      const int n = ::_read(fd_, Data, want);
      if (n <= 0) return false;
      Data += n;
      Size -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  [[noreturn]] void Fail(const std::string& FileName, const std::string& Reason) {
    // The destructor does not run for a constructor that throws.
    if (fd_ >= 0) ::_close(fd_);
    fd_ = -1;
    throw EFileOpenError("Cannot open file \"" + FileName + "\". " + Reason);
  }
  // A folder gets the reason the other system gives ("Is a directory"; opening one here would
  // say only "Permission denied").
  [[noreturn]] void Refuse(const std::string& FileName, const struct _stat64& St) {
    Fail(FileName, S_ISDIR(St.st_mode)
                       ? std::string(std::strerror(EISDIR))
                       : std::string("Not a regular file: ") + FileKind(St.st_mode));
  }

  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace

std::unique_ptr<TPngSource> OpenPngFile(const std::string& FileName) {
  return std::make_unique<TFileSource>(FileName);
}

}  // namespace kelta::gfx
