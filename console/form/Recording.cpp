// Recording: while the "Record" toggle is on, every reading the console accepts goes to a CSV
// file in the operator's folder, named by its start time and port. The file keeps what came
// when the port is lost and the window closes; a file that cannot be written ends the
// recording with a message, never the console.

#include "console/form/ConsoleForm.h"

#include "console/core/ConsoleErrors.h"
#include "console/core/LocalTime.h"
#include "console/core/RecordSettings.h"
#include "serial/VaComm.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace kelta {

namespace {

// Lines wait in memory at most this long before they reach the system (the writer's own
// limit); the tick also shows the count of lines written.
constexpr int kRecordTickMs = ReadingCsvWriter::kFlushMs;
// Files started within the same second on the same port get "-2" to "-9".
constexpr int kNameTries = 9;

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string RecordFileName(std::chrono::system_clock::time_point start, const std::string& port,
                           int attempt) {
  const std::tm t = LocalTime(std::chrono::system_clock::to_time_t(start));
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d-%02d-%02d", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  std::string name = std::string(stamp) + "_" + port;
  if (attempt > 1) name += "-" + std::to_string(attempt);
  return name + ".csv";
}

void TConsoleForm::LoadRecordSettings() {
  recording_.folder = LoadRecordFolder(appDir_);
  ShowRecordState();
}

bool TConsoleForm::IsRecording() const { return recording_.writer.IsOpen(); }

void TConsoleForm::ShowRecordState() {
  window_.SetChecked(FormControl::btRecord, IsRecording());
  if (IsRecording())
    window_.SetText(FormControl::lRecord, "\u25CF " + FileName(recording_.writer.Path()) + " (" +
                                              std::to_string(recording_.writer.LinesWritten()) +
                                              ")");
  else
    window_.SetText(FormControl::lRecord, "To " + recording_.folder);
}

void TConsoleForm::btRecordClick() {
  if (IsRecording()) {
    StopRecording();
    return;
  }
  // FormCreate may have ended early (a settings record it could not read).
  if (recording_.folder.empty()) recording_.folder = LoadRecordFolder(appDir_);
  const std::string port = "COM" + std::to_string(VaComm1().PortNum());
  std::string folder = recording_.folder;
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  const auto start = std::chrono::system_clock::now();
  try {
    MakeFolder(recording_.folder);
    for (int attempt = 1;; ++attempt) {
      try {
        recording_.writer.Open(folder + RecordFileName(start, port, attempt));
        break;
      } catch (const EInOutError& e) {
        if (e.errorCode != EEXIST || attempt == kNameTries) throw;
      }
    }
  } catch (const EInOutError& e) {
    ShowRecordState();
    const std::string text = std::string("Recording did not start: ") + e.what();
    SetStatus(0, text);
    window_.ShowMessage(text + "\nChoose another folder with \"Folder\u2026\".");
    return;
  }
  recording_.port = port;
  // Runs until a tick finds the recording stopped (and any failure shown).
  if (recording_.timer == 0)
    recording_.timer =
        window_.StartTimer(kRecordTickMs, [this] { Guarded([this] { RecordTick(); }); });
  SetStatus(0, "Recording to " + recording_.writer.Path());
  ShowRecordState();
}

void TConsoleForm::btFolderClick() {
  const std::string chosen = window_.ChooseFolder(recording_.folder);
  if (chosen.empty()) return;
  recording_.folder = chosen;
  ShowRecordState();
  try {
    SaveRecordFolder(appDir_, chosen);
  } catch (const EInOutError& e) {
    // The choice holds for this run all the same.
    window_.ShowMessage(std::string("The folder is used, but was not remembered: ") + e.what());
  }
}

void TConsoleForm::RecordReading(double value, const ReadingTime& at) {
  if (!IsRecording()) return;
  Reading reading;
  reading.time = at.wall;
  reading.seconds = recording_.writer.SecondsSinceOpen(at.steady);
  reading.angle = value;
  // The frame's text: delivered as a line just before its value is raised.
  reading.line = LastLine;
  reading.port = recording_.port;
  reading.sensorId = polledId_ ? *polledId_ : window_.Text(FormControl::lbeID);
  try {
    recording_.writer.Write(reading);
  } catch (const EInOutError& e) {
    RecordingFailed(e);
  }
}

void TConsoleForm::RecordTick() {
  if (!recording_.failure.empty()) {
    // Shown from here, not from the receive handler that met the failure: a box there
    // would hold the serial port's hand-off until the operator answers.
    const std::string text = std::move(recording_.failure);
    recording_.failure.clear();
    window_.ShowMessage(text);
  }
  if (!IsRecording()) {
    window_.StopTimer(recording_.timer);
    recording_.timer = 0;
    return;
  }
  try {
    recording_.writer.Flush(true);
  } catch (const EInOutError& e) {
    RecordingFailed(e);
    return;
  }
  ShowRecordState();
}

void TConsoleForm::FlushRecording() {
  try {
    recording_.writer.Flush(true);
  } catch (const EInOutError& e) {
    RecordingFailed(e);
  }
}

void TConsoleForm::RecordingFailed(const EInOutError& error) {
  // The writer has closed itself; the file keeps what reached it.
  const std::string path = recording_.writer.Path();
  recording_.failure = "Recording stopped: " + std::string(error.what()) + "\nThe file \"" + path +
                       "\" keeps the readings written before.";
  SetStatus(0, "Recording stopped: " + std::string(error.what()));
  ShowRecordState();
  window_.SetText(FormControl::lRecord, "Stopped: " + FileName(path));
}

void TConsoleForm::StopRecording() {
  if (!IsRecording()) return;
  const std::string path = recording_.writer.Path();
  try {
    recording_.writer.Close();
  } catch (const EInOutError& e) {
    RecordingFailed(e);
    return;
  }
  SetStatus(0, "Recorded to " + path);
  ShowRecordState();
}

void TConsoleForm::EndRecording() {
  StopRecording();
  // The window goes: a failure is shown now or never.
  if (!recording_.failure.empty()) {
    const std::string text = std::move(recording_.failure);
    recording_.failure.clear();
    window_.ShowMessage(text);
  }
}

}  // namespace kelta
