#include "base/ErrorLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/Errors.h"
#include "base/FdIo.h"
#include "base/LocalTime.h"
#include "base/RegularFile.h"

namespace kelta {

std::string FormatLogLine(const std::string& message, std::time_t when) {
  const std::tm local = LocalTime(when);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return message + " - " + stamp;
}

std::string LogLine(const std::string& message) {
  return FormatLogLine(message, std::time(nullptr));
}

void WriteLogLine(const std::string& dir, const std::string& line) {
  const std::string path = dir + kLogFileName;
  const RegularFile opened = OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT);
  if (opened.fd < 0) throw OpenFailure("Cannot open", path, opened);
  const int fd = opened.fd;
  // One write per line: appends from two programs sharing the folder do not interleave.
  const std::string text = line + "\r\n";
  if (const int err = WriteAll(fd, text.data(), text.size()).err; err != 0) {
    ::close(fd);
    throw FileError("Cannot write", path, err);
  }
  if (::close(fd) != 0) {
    const int err = errno;
    throw FileError("Cannot close", path, err);
  }
}

}  // namespace kelta
