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

class TFileSource final : public TPngSource {
 public:
  explicit TFileSource(const std::string& FileName) {
    // UTF-8 name widened for the system; binary, so no byte of the picture is translated.
    const std::wstring wide =
        std::filesystem::path(std::u8string(FileName.begin(), FileName.end())).wstring();
    // Opening a folder fails with EACCES here; name it as the other system does.
    struct _stat64 st {};
    int err = 0;
    if (::_wstat64(wide.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      err = EISDIR;
    } else {
      Fd_ = ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
      if (Fd_ < 0) err = errno;
    }
    if (err != 0)
      throw EFileOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(err));
  }
  ~TFileSource() override {
    if (Fd_ >= 0) ::_close(Fd_);
  }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;

  bool Read(std::uint8_t* Data, std::size_t Size) noexcept override {
    while (Size > 0) {
      const unsigned want = Size > INT_MAX ? INT_MAX : static_cast<unsigned>(Size);
      const int n = ::_read(Fd_, Data, want);
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
