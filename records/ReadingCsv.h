#pragma once
// Readings as CSV, for the console's recording and for tools that record without a window.
// One header line, then one line per reading:
//   time,seconds,angle,line,port,sensor_id
//   2026-12-07T14:02:11.250+01:00,0.250,12.345,"D 12.345",COM5,042
// time: the reading's local time, ISO 8601 with milliseconds and the UTC offset. seconds:
// since the recording started, three decimals. angle: the shortest text that reads back as the
// same double. Numbers always have "." as the decimal point, whatever the locale. line: the
// bytes as received, each byte one character (bytes 0x80 to 0xFF as Latin-1), control bytes as
// their Unicode control pictures (U+2400 + byte, DEL as U+2421), so a bad line can never break
// the row; line, port and sensor_id are quoted when they hold a comma, a quote or a leading or
// trailing space, quotes doubled. Lines end with CR LF; the file is UTF-8 without a byte order
// mark.
//
// Not thread-safe: one writer is used by one thread at a time.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace kelta {

struct RegularFile;

struct Reading {
  std::chrono::system_clock::time_point time;
  double seconds = 0;  // since the recording started
  double angle = 0;
  std::string line;  // the bytes as received, without the line's end
  std::string port;  // "COM5"
  std::string sensorId;
};

// The header line and one reading's line, each with its CR LF.
std::string CsvHeader();
std::string CsvLine(const Reading& reading);
// One field: the bytes as characters (see above), quoted when needed.
std::string CsvField(std::string_view bytes);
// "2026-12-07T14:02:11.250+01:00" for a moment, in local time.
std::string IsoLocalTime(std::chrono::system_clock::time_point when);

// Appends readings to one CSV file. Lines are kept in memory at most kFlushMs after the
// oldest of them was written (checked on each Write and each Flush), then handed to the
// system; Close hands over the rest and asks the system to put the file on its disk. Every
// failure (folder missing or not writable, disk full) raises EInOutError naming the file and
// the system's reason; after one, the writer is closed and the file keeps the whole lines
// that reached it (a line the disk took only in part is cut off again), so a spreadsheet
// never meets a half row.
class ReadingCsvWriter {
 public:
  static constexpr int kFlushMs = 250;

  ReadingCsvWriter() = default;
  ~ReadingCsvWriter();  // closes without raising; Close first to learn of a failure
  ReadingCsvWriter(const ReadingCsvWriter&) = delete;
  ReadingCsvWriter& operator=(const ReadingCsvWriter&) = delete;

  // Creates path (UTF-8; 0640 less the umask; an existing file is not overwritten: EInOutError)
  // and writes the header; a file made but not given its header is removed again. The
  // recording's seconds count from `started`.
  void Open(const std::string& path,
            std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now());
  // The same for the first of pathFor(1), pathFor(2), ... whose name is free: a name taken by
  // anything (another file, a folder) moves on to the next, however many there are.
  void OpenFirstFree(
      const std::function<std::string(int attempt)>& pathFor,
      std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now());
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // Seconds from Open to `now`, for Reading::seconds.
  double SecondsSinceOpen(
      std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) const;

  void Write(const Reading& reading);
  // Hands the kept lines to the system when the oldest is kFlushMs old (or `force`).
  void Flush(bool force = false);
  // Flushes, syncs and closes; nothing when not open.
  void Close();

  uint64_t LinesWritten() const { return lines_; }
  // The file's size once the kept lines are out: the header and every line written.
  uint64_t Bytes() const { return fileBytes_ + pending_.size(); }

 private:
  // Opens the writer on a new file at path; when the create fails, the writer stays closed
  // and the outcome says why (the name taken: EEXIST, or something not a regular file).
  RegularFile Create(const std::string& path, std::chrono::steady_clock::time_point started);
  void WriteOut();
  void Fail(const char* action, int err);

  int fd_ = -1;
  uint64_t fileBytes_ = 0;  // what the file holds: whole lines only
  std::string path_;
  std::string pending_;
  std::chrono::steady_clock::time_point started_{};
  std::chrono::steady_clock::time_point pendingSince_{};
  uint64_t lines_ = 0;
};

// Creates folder and its parents when missing (UTF-8 path); EInOutError when that fails.
void MakeFolder(const std::string& folder);

// Puts what the system holds of the file on its disk; the errno of a failure, else 0.
// ReadingCsv_linux.cpp and ReadingCsv_win32.cpp hold the two systems' calls.
int SyncFile(int fd);
// Cuts the file back to `bytes`; the errno of a failure, else 0.
int TruncateFile(int fd, uint64_t bytes);

}  // namespace kelta
