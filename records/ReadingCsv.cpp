#include "records/ReadingCsv.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#include "base/Errors.h"
#include "base/FdIo.h"
#include "base/LocalTime.h"
#include "base/RegularFile.h"

namespace kelta {

namespace {

using std::chrono::steady_clock;
using std::chrono::system_clock;

// Days from 1970-01-01 to a calendar date of the proleptic Gregorian calendar (month 1..12).
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int64_t SecondsOfCalendar(const std::tm& t) {
  return DaysFromCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday) * 86400 + t.tm_hour * 3600 +
         t.tm_min * 60 + t.tm_sec;
}

// Integers and fixed decimals through to_chars: never the locale's decimal mark.
std::string Fixed3(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
  return std::string(text, result.ptr);
}

std::string Shortest(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string IsoLocalTime(system_clock::time_point when) {
  const auto seconds = std::chrono::floor<std::chrono::seconds>(when);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(when - seconds).count();
  const std::time_t whole = system_clock::to_time_t(seconds);
  const std::tm local = LocalTime(whole);
  // The offset in force at that moment (summer time included), as the two calendars differ.
  const int64_t offset = SecondsOfCalendar(local) - SecondsOfCalendar(UtcTime(whole));
  const int64_t offsetMinutes = (offset < 0 ? -offset : offset) / 60;
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis), offset < 0 ? '-' : '+',
                static_cast<int>(offsetMinutes / 60), static_cast<int>(offsetMinutes % 60));
  return text;
}

std::string CsvField(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  bool quote = !bytes.empty() && (bytes.front() == ' ' || bytes.back() == ' ');
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      AppendUtf8(text, 0x2400 + byte);
    } else if (byte == 0x7F) {
      AppendUtf8(text, 0x2421);
    } else {
      if (c == ',' || c == '"') quote = true;
      if (c == '"') text += '"';
      AppendUtf8(text, byte);
    }
  }
  return quote ? '"' + text + '"' : text;
}

std::string CsvHeader() { return "time,seconds,angle,line,port,sensor_id\r\n"; }

std::string CsvLine(const Reading& reading) {
  std::string line = IsoLocalTime(reading.time);
  line += ',';
  line += Fixed3(reading.seconds);
  line += ',';
  line += Shortest(reading.angle);
  line += ',';
  line += CsvField(reading.line);
  line += ',';
  line += CsvField(reading.port);
  line += ',';
  line += CsvField(reading.sensorId);
  line += "\r\n";
  return line;
}

void MakeFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(
      std::filesystem::path(std::u8string(folder.begin(), folder.end())), error);
  if (error) throw FileError("Cannot create folder", folder, error.value());
}

ReadingCsvWriter::~ReadingCsvWriter() {
  if (fd_ < 0) return;
  try {
    Close();
  } catch (const std::exception&) {
    // Nobody is left to show it; Close first to learn of it.
  }
}

void ReadingCsvWriter::Open(const std::string& path, steady_clock::time_point started) {
  Close();
  const RegularFile opened = Create(path, started);
  if (opened.fd < 0) throw OpenFailure("Cannot create", path, opened);
}

void ReadingCsvWriter::OpenFirstFree(const std::function<std::string(int)>& pathFor,
                                     steady_clock::time_point started) {
  Close();
  for (int attempt = 1;; ++attempt) {
    const std::string path = pathFor(attempt);
    const RegularFile opened = Create(path, started);
    if (opened.fd >= 0) return;
    // Only a taken name moves on (made meanwhile by this or another program: the create
    // itself decides, never an earlier look); a folder that refuses files ends here.
    const bool taken = opened.err == EEXIST || !opened.kind.empty();
    if (!taken || attempt == std::numeric_limits<int>::max())
      throw OpenFailure("Cannot create", path, opened);
  }
}

RegularFile ReadingCsvWriter::Create(const std::string& path, steady_clock::time_point started) {
  // Readings of a plant are not for every user of the machine: the owner and its group only
  // (less what the umask takes away).
  const RegularFile opened = OpenRegularFile(path, O_WRONLY | O_CREAT | O_EXCL, 0640);
  if (opened.fd < 0) return opened;
  fd_ = opened.fd;
  path_ = path;
  lines_ = 0;
  fileBytes_ = 0;
  started_ = started;
  pending_ = CsvHeader();
  try {
    WriteOut();
  } catch (const EInOutError&) {
    // A file without its header is no recording: nothing is left behind (the writer has
    // closed it, so the system lets it go).
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(std::u8string(path.begin(), path.end())),
                            ignored);
    throw;
  }
  return opened;
}

double ReadingCsvWriter::SecondsSinceOpen(steady_clock::time_point now) const {
  return std::chrono::duration<double>(now - started_).count();
}

void ReadingCsvWriter::Write(const Reading& reading) {
  if (fd_ < 0) return;
  if (pending_.empty()) pendingSince_ = steady_clock::now();
  pending_ += CsvLine(reading);
  ++lines_;
  Flush();
}

void ReadingCsvWriter::Flush(bool force) {
  if (fd_ < 0 || pending_.empty()) return;
  if (!force && steady_clock::now() - pendingSince_ < std::chrono::milliseconds(kFlushMs)) return;
  WriteOut();
}

void ReadingCsvWriter::WriteOut() {
  const FdIoResult wrote = WriteAll(fd_, pending_.data(), pending_.size());
  if (wrote.err != 0) {
    // Whole lines only: the part of a line the disk took goes again. Should the cut fail
    // too, the write's failure is still the one to report.
    const size_t put = wrote.done;
    const size_t lastEnd = put == 0 ? std::string::npos : pending_.rfind('\n', put - 1);
    const size_t whole = lastEnd == std::string::npos ? 0 : lastEnd + 1;
    if (whole < put) static_cast<void>(TruncateFile(fd_, fileBytes_ + whole));
    fileBytes_ += whole;
    Fail("Cannot write", wrote.err);
  }
  fileBytes_ += pending_.size();
  pending_.clear();
}

void ReadingCsvWriter::Fail(const char* action, int err) {
  ::close(fd_);
  fd_ = -1;
  pending_.clear();
  throw FileError(action, path_, err);
}

void ReadingCsvWriter::Close() {
  if (fd_ < 0) return;
  WriteOut();
  if (const int err = SyncFile(fd_); err != 0 && err != EINVAL) Fail("Cannot sync", err);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const int err = errno;
    throw FileError("Cannot close", path_, err);
  }
}

}  // namespace kelta
