#include "apps/recorder/CsvRecording.h"

#include <ctime>
#include <exception>

#include "base/LocalTime.h"

namespace kelta::record {

namespace {

int LocalDay(const std::tm& t) {
  return (t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday;
}

std::tm LocalTimeOf(std::chrono::system_clock::time_point time) {
  return LocalTime(std::chrono::system_clock::to_time_t(time));
}

}  // namespace

CsvRecording::CsvRecording(std::function<void(const std::string&)> opened, SteadyTime started)
    : opened_(std::move(opened)), started_(started) {}

void CsvRecording::OpenFile(const std::string& path) {
  single_.Open(path, started_);
  if (opened_) opened_(single_.Path());
}

void CsvRecording::UseFolder(const std::string& folder, const std::string& portName,
                             uint64_t maxBytes) {
  folder_ = folder;
  if (folder_.empty() || (folder_.back() != '/' && folder_.back() != '\\')) folder_ += '/';
  portName_ = portName;
  maxBytes_ = maxBytes;
}

void CsvRecording::Start(SensorFile& file, const Reading& row, int day) {
  file.writer.Close();
  const std::tm t = LocalTimeOf(row.time);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
  // The ID goes into a file name: nothing in it may lead elsewhere.
  std::string id = row.sensorId;
  for (char& c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) c = '_';
  }
  const std::string base = folder_ + "kelta-" + portName_ + "-" + stamp + "-id" + id;
  file.writer.OpenFirstFree(
      [&](int attempt) {
        return attempt == 1 ? base + ".csv" : base + "-" + std::to_string(attempt) + ".csv";
      },
      started_);
  file.day = day;
  if (opened_) opened_(file.writer.Path());
}

void CsvRecording::Write(Reading row, SteadyTime now) {
  row.seconds = std::chrono::duration<double>(now - started_).count();
  if (folder_.empty()) {
    single_.Write(row);
    return;
  }
  std::unique_ptr<SensorFile>& slot = files_[row.sensorId];
  if (!slot) slot = std::make_unique<SensorFile>();
  SensorFile& file = *slot;
  const int day = LocalDay(LocalTimeOf(row.time));
  // A file holding rows already gives way to a new day, or to a row that would pass the limit
  // (a file of the header alone takes the row whatever its size: it must go somewhere).
  const bool full = maxBytes_ > 0 && file.writer.IsOpen() && file.writer.LinesWritten() > 0 &&
                    file.writer.Bytes() + CsvLine(row).size() > maxBytes_;
  if (!file.writer.IsOpen() || day != file.day || full) Start(file, row, day);
  file.writer.Write(row);
}

void CsvRecording::Flush() {
  single_.Flush();
  for (auto& [id, file] : files_) file->writer.Flush();
}

void CsvRecording::Close() {
  std::exception_ptr first;
  const auto close = [&](ReadingCsvWriter& writer) {
    try {
      writer.Close();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  };
  close(single_);
  for (auto& [id, file] : files_) close(file->writer);
  if (first) std::rethrow_exception(first);
}

}  // namespace kelta::record
