#include "graphics/png/PngFileSource.h"

#include "graphics/png/PngErrors.h"
#include "graphics/png/PngFileAccess.h"

namespace kelta::gfx {
namespace {

class FileSource final : public PngSource {
 public:
  explicit FileSource(const std::string& FileName) {
    std::string reason;
    fd_ = png_file::OpenRegular(FileName, size_, reason);
    if (fd_ < 0) throw EFileOpenError("Cannot open file \"" + FileName + "\". " + reason);
  }
  ~FileSource() override { png_file::Close(fd_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::optional<std::uint64_t> Size() const noexcept override { return size_; }

  bool Read(std::uint8_t* Data, std::size_t Size) noexcept override {
    while (Size > 0) {
      const long long n = png_file::ReadSome(fd_, Data, Size);
      if (n <= 0) return false;
      Data += n;
      Size -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace

std::unique_ptr<PngSource> OpenPngFile(const std::string& FileName) {
  return std::make_unique<FileSource>(FileName);
}

}  // namespace kelta::gfx
