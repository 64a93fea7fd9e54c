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

class TFileSource final : public TPngSource {
 public:
  explicit TFileSource(const std::string& FileName) {
    Fd_ = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    int err = Fd_ < 0 ? errno : 0;
    struct stat st {};
    if (Fd_ >= 0 && ::fstat(Fd_, &st) == 0 && S_ISDIR(st.st_mode)) err = EISDIR;
    if (err != 0) {
      // The destructor does not run for a constructor that throws.
      if (Fd_ >= 0) ::close(Fd_);
      throw EFileOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(err));
    }
  }
  ~TFileSource() override {
    if (Fd_ >= 0) ::close(Fd_);
  }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;

  bool Read(std::uint8_t* Data, std::size_t Size) noexcept override {
    while (Size > 0) {
      const ssize_t n = ::read(Fd_, Data, Size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      Data += n;
      Size -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int Fd_ = -1;
};

}  // namespace

std::unique_ptr<TPngSource> OpenPngFile(const std::string& FileName) {
  return std::make_unique<TFileSource>(FileName);
}

}  // namespace kelta::gfx
