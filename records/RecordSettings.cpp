#include "records/RecordSettings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "base/Errors.h"
#include "base/FdIo.h"
#include "base/RegularFile.h"

namespace kelta {

namespace {

constexpr std::string_view kFolderKey = "Folder=";
// A settings file is a line or two; anything longer is not ours.
constexpr size_t kSettingsCap = 64 * 1024;

}  // namespace

std::string LoadRecordFolder(const std::string& dir) {
  const RegularFile opened = OpenRegularFile(dir + kRecordSettingsFileName, O_RDONLY);
  if (opened.fd < 0) return DefaultRecordFolder();
  std::string text;
  char chunk[4096];
  for (;;) {
    const auto n = ::read(opened.fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk, static_cast<size_t>(n));
    if (text.size() > kSettingsCap) break;
  }
  ::close(opened.fd);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with(kFolderKey) && line.size() > kFolderKey.size())
      return std::string(line.substr(kFolderKey.size()));
    start = end + 1;
  }
  return DefaultRecordFolder();
}

void SaveRecordFolder(const std::string& dir, const std::string& folder) {
  if (folder.find_first_of("\r\n") != std::string::npos)
    throw EInOutError("A folder name with a line break cannot be stored: \"" + folder + "\"", 0);
  const std::string path = dir + kRecordSettingsFileName;
  const RegularFile opened = OpenRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (opened.fd < 0) throw OpenFailure("Cannot create", path, opened);
  const std::string text = std::string(kFolderKey) + folder + "\r\n";
  if (const int err = WriteAll(opened.fd, text.data(), text.size()).err; err != 0) {
    ::close(opened.fd);
    throw FileError("Cannot write", path, err);
  }
  if (::close(opened.fd) != 0) {
    const int err = errno;
    throw FileError("Cannot close", path, err);
  }
}

}  // namespace kelta
