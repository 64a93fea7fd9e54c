#include "graphics/png/PngFileSource.h"

#include <fcntl.h>

#include <cstring>

#include "base/FdIo.h"
#include "base/RegularFile.h"
#include "graphics/png/PngErrors.h"

namespace kelta::gfx {
namespace {

// Why a picture file could not be opened: the system's text, or what stands in its place. A
// folder keeps the reason opening it for reading gives on Linux ("Is a directory"), on Windows
// too, where opening one would say only "Permission denied".
std::string RefusalOf(const RegularFile& File) {
  if (File.kind.empty()) return std::strerror(File.err);
  if (File.kind == "folder") return std::strerror(EISDIR);
  return "Not a regular file: " + File.kind;
}

// Only a regular file is opened: a FIFO would block the open (and the program) until another
// program opened its other end, a device might never end.
class FileSource final : public PngSource {
 public:
  explicit FileSource(const std::string& FileName) : file_(OpenRegularFile(FileName, O_RDONLY)) {
    if (file_.fd < 0)
      throw EFileOpenError("Cannot open file \"" + FileName + "\". " + RefusalOf(file_));
  }
  ~FileSource() override { CloseFd(file_.fd); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::optional<std::uint64_t> Size() const noexcept override { return file_.size; }

  bool Read(std::uint8_t* Data, std::size_t Size) noexcept override {
    const FdIoResult got = ReadAll(file_.fd, Data, Size);
    return got.err == 0 && got.done == Size;
  }

 private:
  RegularFile file_;
};

}  // namespace

std::unique_ptr<PngSource> OpenPngFile(const std::string& FileName) {
  return std::make_unique<FileSource>(FileName);
}

}  // namespace kelta::gfx
