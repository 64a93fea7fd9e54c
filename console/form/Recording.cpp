// Recording: while the "Record" toggle is on, every reading the console accepts goes to a CSV
// file in the operator's folder, named by its start time and port. The file keeps what came
// when the port is lost and the window closes; a file that cannot be written ends the
// recording with a message, never the console. A file holds one port's and one sensor's
// readings: a Connect to another port, or to a sensor with another ID, goes on in a new file.

#include "console/form/ConsoleForm.h"

#include "base/Errors.h"
#include "base/LocalTime.h"
#include "console/form/FormLayout.h"
#include "records/RecordSettings.h"
#include "serial/VaComm.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace kelta {

namespace {

// Lines wait in memory at most this long before they reach the system (the writer's own
// limit); the tick also shows the count of lines written.
constexpr int kRecordTickMs = ReadingCsvWriter::kFlushMs;
// Readings from a port opened by hand kept until its sensor says who it is: its information
// comes within seconds, and this is over four seconds at the line's fastest.
constexpr size_t kHeldReadings = 4096;
// How wide a character of the window's font is taken to be: an ASCII one as wide as a digit
// (two thirds of the font's height; the few wider capitals of a file name are made up for by
// its narrow punctuation), anything else (the dot, the ellipsis) twice that.
constexpr int kDigitPixels = kFormFontPixels * 2 / 3;

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A UTF-8 text's width in digits (see kDigitPixels).
int DigitWidths(std::string_view text) {
  int width = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80)
      width += 1;
    else if (byte >= 0xC0)
      width += 2;
  }
  return width;
}

// Creates the recording's file in `folder` for `port`: the first free name of its start
// second ("-2", "-3", ... however many started in it).
void OpenRecordFile(ReadingCsvWriter& writer, const std::string& folder, const std::string& port,
                    std::chrono::system_clock::time_point wallStart,
                    std::chrono::steady_clock::time_point steadyStart) {
  MakeFolder(folder);
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\') prefix += '/';
  writer.OpenFirstFree(
      [&](int attempt) { return prefix + RecordFileName(wallStart, port, attempt); }, steadyStart);
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

std::string RecordLabelText(const std::string& fileName, uint64_t count, int widthPixels) {
  const std::string head = "\u25CF ";
  const std::string tail = " (" + std::to_string(count) + ")";
  const int room = widthPixels / kDigitPixels - DigitWidths(head) - DigitWidths(tail);
  if (DigitWidths(fileName) <= room) return head + fileName + tail;
  // The name's end tells the files apart (time of day, port, counter): its start goes.
  const std::string ellipsis = "\u2026";
  int left = room - DigitWidths(ellipsis);
  size_t start = fileName.size();
  while (start > 0) {
    size_t from = start - 1;
    while (from > 0 && (static_cast<unsigned char>(fileName[from]) & 0xC0) == 0x80) --from;
    const int width = DigitWidths(std::string_view(fileName).substr(from, start - from));
    if (width > left) break;
    left -= width;
    start = from;
  }
  return head + ellipsis + fileName.substr(start) + tail;
}

void ConsoleForm::LoadRecordSettings() {
  recording_.folder = LoadRecordFolder(appDir_);
  ShowRecordState();
}

bool ConsoleForm::IsRecording() const { return recording_.writer.IsOpen(); }

void ConsoleForm::ShowRecordState() {
  window_.SetChecked(FormControl::btRecord, IsRecording());
  if (IsRecording())
    window_.SetText(FormControl::lRecord,
                    RecordLabelText(FileName(recording_.writer.Path()),
                                    recording_.writer.LinesWritten(), LayoutOf("lRecord").width));
  else
    window_.SetText(FormControl::lRecord, "To " + recording_.folder);
}

void ConsoleForm::btRecordClick() {
  if (IsRecording()) {
    StopRecording();
    return;
  }
  // FormCreate may have ended early (a settings record it could not read).
  if (recording_.folder.empty()) recording_.folder = LoadRecordFolder(appDir_);
  const std::string port = "COM" + std::to_string(VaComm1().PortNum());
  try {
    OpenRecordFile(recording_.writer, recording_.folder, port, clock_->WallNow(), clock_->Now());
  } catch (const EInOutError& e) {
    ShowRecordState();
    const std::string text = std::string("Recording did not start: ") + e.what();
    SetStatus(0, text);
    window_.ShowMessage(text + "\nChoose another folder with \"Folder\u2026\".");
    return;
  }
  recording_.port = port;
  recording_.sensorId = recording_.connectedId.value_or("");
  recording_.held.clear();
  // Runs until a tick finds the recording stopped (and any failure shown).
  if (recording_.timer == 0)
    recording_.timer =
        window_.StartTimer(kRecordTickMs, [this] { Guarded([this] { RecordTick(); }); });
  SetStatus(0, "Recording to " + recording_.writer.Path());
  ShowRecordState();
}

void ConsoleForm::btFolderClick() {
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

void ConsoleForm::RecordReading(double value, const ReadingTime& at) {
  if (!IsRecording()) return;
  Reading reading;
  reading.time = at.wall;
  reading.seconds = recording_.writer.SecondsSinceOpen(at.steady);
  reading.angle = value;
  // The frame's text: delivered as a line just before its value is raised.
  reading.line = LastLine;
  reading.port = "COM" + std::to_string(VaComm1().PortNum());
  // Empty while a sensor connected by hand has not said who it is: filled in when it has.
  reading.sensorId = polledId_ ? *polledId_ : recording_.connectedId.value_or("");
  if (recording_.connectedId) {
    WriteReading(reading);
    return;
  }
  recording_.held.emplace_back(std::move(reading), at.steady);
  // A sensor that never says who it is: its readings go on as of an unknown sensor.
  if (recording_.held.size() >= kHeldReadings) RecordingSensorIs("");
}

void ConsoleForm::WriteReading(const Reading& reading) {
  try {
    recording_.writer.Write(reading);
  } catch (const EInOutError& e) {
    RecordingFailed(e);
  }
}

void ConsoleForm::RecordingPortOpened() {
  // What an earlier Connect left unnamed is not this one's.
  if (!recording_.held.empty()) WriteHeldReadings("");
  recording_.connectedId.reset();
}

void ConsoleForm::RecordingSensorIs(const std::string& id) {
  recording_.connectedId = id;
  WriteHeldReadings(id);
}

void ConsoleForm::WriteHeldReadings(const std::string& id) {
  auto held = std::move(recording_.held);
  recording_.held.clear();
  if (!IsRecording()) return;
  // Held readings all came through one Connect, and carry its port.
  const std::string port =
      held.empty() ? "COM" + std::to_string(VaComm1().PortNum()) : held.front().first.port;
  // An unknown ID ("") parts from no file; a file begun before any sensor was known takes the
  // first one's ID.
  const bool otherSensor = !id.empty() && !recording_.sensorId.empty() && id != recording_.sensorId;
  if (port != recording_.port || otherSensor) {
    // The new file starts with the first reading it is to hold.
    auto wallStart = clock_->WallNow();
    auto steadyStart = clock_->Now();
    if (!held.empty()) {
      wallStart = held.front().first.time;
      steadyStart = held.front().second;
    }
    const std::string previous = recording_.writer.Path();
    try {
      recording_.writer.Close();
    } catch (const EInOutError& e) {
      RecordingFailed(e);
      return;
    }
    try {
      OpenRecordFile(recording_.writer, recording_.folder, port, wallStart, steadyStart);
    } catch (const EInOutError& e) {
      RecordingFailed(e, previous);
      return;
    }
    recording_.port = port;
    recording_.sensorId = id;
    SetStatus(0, "Recorded to " + previous + "; now recording to " + recording_.writer.Path());
  } else if (recording_.sensorId.empty()) {
    recording_.sensorId = id;
  }
  for (auto& [reading, steady] : held) {
    if (reading.sensorId.empty()) reading.sensorId = id;
    reading.seconds = recording_.writer.SecondsSinceOpen(steady);
    WriteReading(reading);
  }
  ShowRecordState();
}

void ConsoleForm::RecordTick() {
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

void ConsoleForm::FlushRecording() {
  try {
    recording_.writer.Flush(true);
  } catch (const EInOutError& e) {
    RecordingFailed(e);
  }
}

void ConsoleForm::RecordingFailed(const EInOutError& error, std::string kept) {
  // The writer has closed itself; the file keeps what reached it.
  const std::string path = kept.empty() ? recording_.writer.Path() : std::move(kept);
  recording_.failure = "Recording stopped: " + std::string(error.what()) + "\nThe file \"" + path +
                       "\" keeps the readings written before.";
  SetStatus(0, "Recording stopped: " + std::string(error.what()));
  ShowRecordState();
  window_.SetText(FormControl::lRecord, "Stopped: " + FileName(path));
}

void ConsoleForm::StopRecording() {
  // Readings of a sensor that has not said who it is yet go in as of an unknown sensor.
  if (!recording_.held.empty()) WriteHeldReadings("");
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

void ConsoleForm::EndRecording() {
  StopRecording();
  // The window goes: a failure is shown now or never.
  if (!recording_.failure.empty()) {
    const std::string text = std::move(recording_.failure);
    recording_.failure.clear();
    window_.ShowMessage(text);
  }
}

}  // namespace kelta
