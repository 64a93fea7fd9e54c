#include "console/core/UserSet.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Errors.h"
#include "base/FdIo.h"
#include "base/RegularFile.h"

namespace kelta {

namespace {

// Closes on every path; a failed close after a successful operation is reported by Close().
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  void Close(const std::string& path) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      const int err = errno;
      throw FileError("Cannot close", path, err);
    }
  }

 private:
  int fd_;
};

std::string UserSetPath(const std::string& dir) { return dir + kUserSetFileName; }

}  // namespace

UserSetFieldLayout LayoutOf(UserSetField field) {
  switch (field) {
    case UserSetField::PortName:
      return {0, 6};
    case UserSetField::SendCount:
      return {7, 5};
    case UserSetField::SendInterval:
      return {13, 10};
    case UserSetField::SensorID:
      return {24, 3};
    case UserSetField::Spare1:
      return {28, 10};
    case UserSetField::Spare2:
      return {39, 10};
    case UserSetField::Spare3:
      return {50, 10};
  }
  return {0, 0};
}

void TUserSet::Store(UserSetField field, std::string_view text) {
  const UserSetFieldLayout layout = LayoutOf(field);
  const size_t length = std::min(text.size(), layout.capacity);
  bytes[layout.offset] = static_cast<uint8_t>(length);
  // An empty view may carry no pointer at all, which memcpy must never be given.
  if (length > 0) std::memcpy(&bytes[layout.offset + 1], text.data(), length);
}

std::string TUserSet::Read(UserSetField field) const {
  const UserSetFieldLayout layout = LayoutOf(field);
  const size_t length = std::min<size_t>(bytes[layout.offset], layout.capacity);
  return std::string(reinterpret_cast<const char*>(&bytes[layout.offset + 1]), length);
}

TUserSet UserSetFromBytes(std::string_view bytes, const std::string& source) {
  if (bytes.size() < kUserSetSize)
    throw EInOutError("Read beyond end of file \"" + source + "\" (" +
                          std::to_string(bytes.size()) + " of " + std::to_string(kUserSetSize) +
                          " bytes)",
                      0);
  TUserSet record;
  std::memcpy(record.bytes.data(), bytes.data(), kUserSetSize);
  return record;
}

void LoadUserSet(TUserSet& record, const std::string& dir) {
  const std::string path = UserSetPath(dir);
  if (const int err = PathError(path); err != 0) {
    if (err != ENOENT) throw FileError("Cannot open", path, err);
    TUserSet fresh = record;
    fresh.Store(UserSetField::PortName, "COM1");
    fresh.Store(UserSetField::SendCount, "1");
    fresh.Store(UserSetField::SendInterval, "200");
    fresh.Store(UserSetField::SensorID, "1");
    SaveUserSet(fresh, dir);
    record = fresh;
    return;
  }
  const RegularFile opened = OpenRegularFile(path, O_RDONLY);
  if (opened.fd < 0) throw OpenFailure("Cannot open", path, opened);
  FileHandle file(opened.fd);
  char buffer[kUserSetSize];
  const FdIoResult got = ReadAll(file.get(), buffer, kUserSetSize);
  if (got.err != 0) throw FileError("Cannot read", path, got.err);
  const TUserSet loaded = UserSetFromBytes(std::string_view(buffer, got.done), path);
  file.Close(path);
  record = loaded;
}

void SaveUserSet(TUserSet& record, const std::string& dir) {
  const std::string path = UserSetPath(dir);
  {
    const RegularFile opened = OpenRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (opened.fd < 0) throw OpenFailure("Cannot create", path, opened);
    FileHandle file(opened.fd);
    if (const int err = WriteAll(file.get(), record.bytes.data(), kUserSetSize).err; err != 0)
      throw FileError("Cannot write", path, err);
    file.Close(path);
  }
  LoadUserSet(record, dir);
}

}  // namespace kelta
