#include "graphics/png/PngFileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "graphics/png/PngErrors.h"

namespace kelta::gfx {
namespace {

// What a path names when it is not a regular file.
const char* FileKind(mode_t Mode) {
  if (S_ISFIFO(Mode)) return "FIFO";
  if (S_ISCHR(Mode)) return "character device";
  if (S_ISBLK(Mode)) return "block device";
  if (S_ISSOCK(Mode)) return "socket";
  return "special file";
}

class TFileSource final : public TPngSource {
 public:
  // Only a regular file is a picture: a FIFO would block the open (and the program) until
  // another program opened its other end, a device might never end. The path is looked at
  // before it is opened, so that no device sees an open, and the descriptor again after,
  // opened without blocking, in case something else took the path's place meanwhile.
  explicit TFileSource(const std::string& FileName) {
    struct stat st {};
    if (::stat(FileName.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) Refuse(FileName, st);
    fd_ = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) Fail(FileName, std::strerror(errno));
    if (::fstat(fd_, &st) != 0) Fail(FileName, std::strerror(errno));
    if (!S_ISREG(st.st_mode)) Refuse(FileName, st);
    size_ = static_cast<std::uint64_t>(st.st_size);
  }
  ~TFileSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;

  std::optional<std::uint64_t> Size() const noexcept override { return size_; }

  bool Read(std::uint8_t* Data, std::size_t Size) noexcept override {
    while (Size > 0) {
      const ssize_t n = ::read(fd_, Data, Size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      Data += n;
      Size -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  [[noreturn]] void Fail(const std::string& FileName, const std::string& Reason) {
    // The destructor does not run for a constructor that throws.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    throw EFileOpenError("Cannot open file \"" + FileName + "\". " + Reason);
  }
  // A folder keeps the system's own reason, as opening it for reading would give.
  [[noreturn]] void Refuse(const std::string& FileName, const struct stat& St) {
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
