#pragma once
// Where kelta-record's CSV rows go, in the console's format (records/ReadingCsv.h): one file
// named on the command line, or a folder in which each sensor gets files of its own, named by
// port, the date and time of their first row, and sensor ID:
//   kelta-COM5-20261208-000000-id7.csv   (a name taken already: ...-id7-2.csv, -3, ...)
// A sensor's next file starts with its first row of a new local day and, with a size limit,
// before a row that would take the file past it; rows are never split between files, and
// every file starts with the header. The day is the row's own time, so a clock and a date of
// any kind (a test's) decide it alike. Every file's seconds count from the recording's start.
// Memory: one writer per sensor, at most 78 on a bus.
//
// Not thread-safe: one thread uses it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "records/ReadingCsv.h"

namespace kelta::record {

class CsvRecording {
 public:
  using SteadyTime = std::chrono::steady_clock::time_point;

  // opened gets the path of every file made.
  explicit CsvRecording(std::function<void(const std::string&)> opened = nullptr,
                        SteadyTime started = std::chrono::steady_clock::now());

  // One file, made now: EInOutError when it cannot be (taken, no such folder).
  void OpenFile(const std::string& path);
  // A folder: files made as rows come. portName goes into the names as given (no separator);
  // maxBytes 0: no size limit.
  void UseFolder(const std::string& folder, const std::string& portName, uint64_t maxBytes);
  bool Active() const { return single_.IsOpen() || !folder_.empty(); }

  // row.time picks the day, row.sensorId the sensor's files; row.seconds is set here from
  // now. EInOutError when a file cannot be made or written: what reached the files before
  // stays, in whole rows.
  void Write(Reading row, SteadyTime now = std::chrono::steady_clock::now());
  // Hands rows kept longer than ReadingCsvWriter::kFlushMs to the system.
  void Flush();
  // Flushes, syncs and closes every file; the first failure is raised after all are closed.
  void Close();

 private:
  struct SensorFile {
    ReadingCsvWriter writer;
    int day = 0;  // YYYYMMDD, local
  };
  void Start(SensorFile& file, const Reading& row, int day);

  std::function<void(const std::string&)> opened_;
  SteadyTime started_;
  ReadingCsvWriter single_;
  std::string folder_;  // with its separator; empty: one file
  std::string portName_;
  uint64_t maxBytes_ = 0;
  std::map<std::string, std::unique_ptr<SensorFile>> files_;  // by sensor ID
};

}  // namespace kelta::record
