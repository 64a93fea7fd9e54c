// Recording against the simulated sensor over a real pseudo-terminal: a recording that goes
// on across a lost and returned port and ends with the window holds every reading the console
// accepted, once and in order; a folder that cannot take a file and a disk that fills stop the
// recording with a message while the console goes on; the folder is remembered beside the
// executable, never in "UserSet.dat"; readings faster than the display's frames are all kept
// while the window is painted once a frame.

#include "tests/console/form/RecordingWindow.h"

#include "apps/sim/SensorWire.h"
#include "console/core/UserSet.h"
#include "console/form/FormLayout.h"
#include "records/ReadingCsv.h"
#include "records/RecordSettings.h"
#include "serial/LoopDispatcher.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kelta::test {
namespace {

using F = FormControl;

// A sensor whose frames count 1, 2, 3, ... from `from`, 40 a second.
sim::SensorConfig Counting(double from) {
  sim::SensorConfig config;
  config.countFrom = from;
  config.framesPerSecond = 40;
  return config;
}

std::vector<std::string> CsvFiles(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".csv") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// The file's rows, split at commas (the fields these tests meet hold no quotes).
std::vector<std::vector<std::string>> Rows(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  const std::string text = ReadFile(path);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "a row without its CR LF";
    if (end == std::string::npos) break;
    std::vector<std::string> fields;
    const std::string row = text.substr(start, end - start);
    size_t from = 0;
    for (size_t comma; (comma = row.find(',', from)) != std::string::npos; from = comma + 1)
      fields.push_back(row.substr(from, comma - from));
    fields.push_back(row.substr(from));
    rows.push_back(fields);
    start = end + 2;
  }
  return rows;
}

// "2026-12-07_14-02-11_COM7.csv": digits where the pattern has 0.
bool IsRecordFileName(const std::string& name, const std::string& port) {
  const std::string pattern = "0000-00-00_00-00-00_";
  if (name != name.substr(0, pattern.size()) + port + ".csv") return false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const bool digit = name[i] >= '0' && name[i] <= '9';
    if (pattern[i] == '0' ? !digit : name[i] != pattern[i]) return false;
  }
  return true;
}

// The record label shows the file (whole, or its end after "…") and the whole count.
bool LabelNames(const std::string& label, const std::string& name, uint64_t count) {
  const std::string head = "\u25CF ";
  const std::string tail = " (" + std::to_string(count) + ")";
  if (label.size() < head.size() + tail.size() || label.rfind(head, 0) != 0 ||
      label.substr(label.size() - tail.size()) != tail)
    return false;
  std::string shown = label.substr(head.size(), label.size() - head.size() - tail.size());
  if (shown.rfind("\u2026", 0) == 0) shown.erase(0, std::string("\u2026").size());
  return shown.size() >= 8 && name.size() >= shown.size() &&
         name.substr(name.size() - shown.size()) == shown;
}

std::vector<double> ShownValues(const RecordingWindow& w) {
  std::vector<double> values;
  for (const auto& shown : w.angles.shown) values.push_back(shown.first);
  return values;
}

// Every reading the form took in, in order.
std::vector<double> TrendedValues(ConsoleForm& form) {
  std::vector<double> values;
  for (const auto& sample : form.Trend().Samples(0, 1e300)) values.push_back(sample.value);
  return values;
}

TEST(Recording, EveryReadingOnceAndInOrderAcrossALostPortAndTheWindowClosing) {
  FormRig rig(Counting(1));
  RecordingWindow& w = rig.window;
  const std::string folder = rig.dir.Path() + "records";
  w.folderAnswer = folder;
  rig.Click(&ConsoleForm::btFolderClick);
  ASSERT_TRUE(rig.Connect());
  const std::string userSet = ReadFile(rig.dir.File("UserSet.dat"));
  ASSERT_EQ(userSet.size(), 61u);

  rig.Click(&ConsoleForm::btRecordClick);
  ASSERT_TRUE(rig.form->IsRecording()) << w.status[0];
  EXPECT_TRUE(w.checked[F::btRecord]);
  const std::vector<std::string> files = CsvFiles(folder);
  ASSERT_EQ(files.size(), 1u);
  const std::string name = std::filesystem::path(files[0]).filename().string();
  EXPECT_TRUE(IsRecordFileName(name, "COM" + std::to_string(rig.com))) << name;
  EXPECT_TRUE(LabelNames(w.Text(F::lRecord), name, 0)) << w.Text(F::lRecord);

  rig.Click(&ConsoleForm::btREADClick);
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Trend().Size() >= 10; }));
  rig.Unplug();
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Connected == 0; }));
  // Handed to the system when the port went: every reading so far is in the file.
  EXPECT_EQ(Rows(files[0]).size(), 1 + rig.form->Trend().Size());
  EXPECT_TRUE(rig.form->IsRecording());

  rig.PlugIn(Counting(1001));
  ASSERT_TRUE(w.PumpUntil([&w] { return w.angles.shown.back().first >= 1010; }));
  // The title bar's close: the front-end tells the form.
  rig.form->WindowClosing();
  EXPECT_FALSE(rig.form->IsRecording());
  EXPECT_FALSE(w.checked[F::btRecord]);

  const std::vector<double> trended = TrendedValues(*rig.form);
  const auto rows = Rows(files[0]);
  ASSERT_EQ(rows.size(), 1 + trended.size());
  EXPECT_EQ(rows[0],
            (std::vector<std::string>{"time", "seconds", "angle", "line", "port", "sensor_id"}));
  std::vector<double> recorded;
  double lastSeconds = 0;
  for (size_t i = 1; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 6u) << i;
    recorded.push_back(std::stod(rows[i][2]));
    EXPECT_EQ(std::stod(rows[i][3]), recorded.back()) << rows[i][3];
    EXPECT_EQ(rows[i][4], "COM" + std::to_string(rig.com));
    EXPECT_EQ(rows[i][5], "1");
    const double seconds = std::stod(rows[i][1]);
    EXPECT_GE(seconds, lastSeconds);
    lastSeconds = seconds;
  }
  EXPECT_EQ(recorded, trended);
  EXPECT_EQ(w.angles.shown.back().first, recorded.back());
  // The first sensor's count, then the second's, each without a gap or a repeat.
  const auto second = std::find(recorded.begin(), recorded.end(), 1001.0);
  ASSERT_NE(second, recorded.end());
  for (auto it = recorded.begin(); it != recorded.end(); ++it) {
    const double expected = it < second ? 1.0 + (it - recorded.begin()) : 1001.0 + (it - second);
    ASSERT_EQ(*it, expected) << "reading " << (it - recorded.begin());
  }
  EXPECT_GE(second - recorded.begin(), 10);

  // The folder went to its own settings file; the settings record kept its 61 bytes.
  EXPECT_EQ(ReadFile(rig.dir.File(kRecordSettingsFileName)), "Folder=" + folder + "\r\n");
  // The record as closing stores the fields (the typed port among them), and nothing else.
  TUserSet expected;
  std::copy(userSet.begin(), userSet.end(), expected.bytes.begin());
  expected.Store(UserSetField::PortName, w.Text(F::ePortNo));
  EXPECT_EQ(ReadFile(rig.dir.File("UserSet.dat")),
            std::string(expected.bytes.begin(), expected.bytes.end()));
  EXPECT_TRUE(w.messages.empty()) << w.messages[0];
}

TEST(Recording, AFolderThatTakesNoFileOrAFullDiskStopsRecordingNotTheConsole) {
  FormRig rig(Counting(1));
  RecordingWindow& w = rig.window;
  WriteFile(rig.dir.File("plain"), "x");
  w.folderAnswer = rig.dir.File("plain") + "/records";  // under a file: no folder there
  rig.Click(&ConsoleForm::btFolderClick);
  ASSERT_TRUE(rig.Connect());
  rig.Click(&ConsoleForm::btRecordClick);
  EXPECT_FALSE(rig.form->IsRecording());
  EXPECT_FALSE(w.checked[F::btRecord]);
  ASSERT_EQ(w.messages.size(), 1u);
  EXPECT_EQ(w.messages[0].rfind("Recording did not start: ", 0), 0u) << w.messages[0];
  EXPECT_NE(w.messages[0].find("plain/records"), std::string::npos) << w.messages[0];
  rig.Click(&ConsoleForm::btDATAClick);
  EXPECT_EQ(ShownValues(w), std::vector<double>{1});

  // A disk that fills while the stream runs: stopped, said once, the stream goes on.
  w.folderAnswer = rig.dir.Path() + "records";
  rig.Click(&ConsoleForm::btFolderClick);
  {
    FileSizeLimit limit(600);
    rig.Click(&ConsoleForm::btRecordClick);
    ASSERT_TRUE(rig.form->IsRecording());
    rig.Click(&ConsoleForm::btREADClick);
    ASSERT_TRUE(w.PumpUntil([&w] { return w.messages.size() == 2; }));
  }
  EXPECT_FALSE(rig.form->IsRecording());
  EXPECT_FALSE(w.checked[F::btRecord]);
  EXPECT_EQ(w.messages[1].rfind("Recording stopped: Cannot write", 0), 0u) << w.messages[1];
  EXPECT_EQ(w.Text(F::lRecord).rfind("Stopped: ", 0), 0u) << w.Text(F::lRecord);
  const size_t before = w.angles.shown.size();
  ASSERT_TRUE(w.PumpUntil([&w, before] { return w.angles.shown.size() >= before + 5; }));
  EXPECT_EQ(rig.form->Connected, 1);
  EXPECT_EQ(w.messages.size(), 2u);
  const std::vector<std::string> files = CsvFiles(rig.dir.Path() + "records");
  ASSERT_EQ(files.size(), 1u);
  const std::string kept = ReadFile(files[0]);
  EXPECT_LE(kept.size(), 600u);
  EXPECT_EQ(kept.substr(kept.size() - 2), "\r\n");  // whole rows only

  // Recording again after the failure: a new file, the console's fields as they were.
  rig.Click(&ConsoleForm::btRecordClick);
  EXPECT_TRUE(rig.form->IsRecording()) << w.status[0];
  rig.Click(&ConsoleForm::btRecordClick);
  EXPECT_FALSE(rig.form->IsRecording());
  EXPECT_EQ(CsvFiles(rig.dir.Path() + "records").size(), 2u);
}

// The ID measurement's readings come from the polled ID, not from the connected sensor.
TEST(Recording, IdMeasurementReadingsCarryThePolledId) {
  sim::SensorConfig config = Counting(1);
  config.busIds = {1, 7};
  FormRig rig(config);
  RecordingWindow& w = rig.window;
  w.folderAnswer = rig.dir.Path() + "records";
  rig.Click(&ConsoleForm::btFolderClick);
  ASSERT_TRUE(rig.Connect());
  rig.Click(&ConsoleForm::btRecordClick);
  w.SetText(F::Edit1, "7");
  w.SetText(F::eCount, "2");
  w.SetText(F::eInterval, "200");
  rig.Click(&ConsoleForm::btB105Click);
  w.SetText(F::eCount, "1");
  rig.Click(&ConsoleForm::btDATAClick);
  rig.Click(&ConsoleForm::btRecordClick);

  const auto rows = Rows(CsvFiles(rig.dir.Path() + "records").at(0));
  std::vector<std::string> ids;
  for (size_t i = 1; i < rows.size(); ++i) ids.push_back(rows[i].at(5));
  EXPECT_EQ(ids, (std::vector<std::string>{"7", "7", "1"}));
  EXPECT_EQ(ShownValues(w).size(), 3u);
}

// COM<rig.com> is lost while recording and the operator connects by hand to the next COM
// number, where a sensor with another ID streams already: its readings, those before its
// information came too, go to a new file named after that port, each row with its port and
// ID; the first file keeps only the first sensor's.
TEST(Recording, AConnectToAnotherPortGoesOnInANewFileNamedAfterIt) {
  FormRig rig(Counting(1));
  RecordingWindow& w = rig.window;
  sim::SensorConfig otherConfig = Counting(5001);
  otherConfig.settings.id = 2;
  otherConfig.unasked = true;  // streaming from the start
  TestSensor other(otherConfig, rig.dir.Path(), rig.com + 1);
  const std::string folder = rig.dir.Path() + "records";
  w.folderAnswer = folder;
  rig.Click(&ConsoleForm::btFolderClick);
  ASSERT_TRUE(rig.Connect());
  rig.Click(&ConsoleForm::btRecordClick);
  rig.Click(&ConsoleForm::btREADClick);
  ASSERT_TRUE(w.PumpUntil([&w] { return w.angles.shown.size() >= 5; }));
  rig.Unplug();
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Connected == 0; }));

  const std::string otherPort = "COM" + std::to_string(rig.com + 1);
  w.SetText(F::ePortNo, otherPort);
  rig.Click(&ConsoleForm::Button3Click);
  ASSERT_TRUE(w.Visible(F::Panel1)) << w.status[0];
  ASSERT_TRUE(w.PumpUntil([&w] { return w.angles.shown.back().first >= 5010; }));
  rig.Click(&ConsoleForm::btRecordClick);
  ASSERT_FALSE(rig.form->IsRecording());

  const std::vector<std::string> files = CsvFiles(folder);
  ASSERT_EQ(files.size(), 2u);
  const std::string ports[] = {"COM" + std::to_string(rig.com), otherPort};
  const std::string ids[] = {"1", "2"};
  std::vector<double> recorded;
  for (int f = 0; f < 2; ++f) {
    const std::string name = std::filesystem::path(files[f]).filename().string();
    EXPECT_TRUE(IsRecordFileName(name, ports[f])) << name;
    const auto rows = Rows(files[f]);
    ASSERT_GE(rows.size(), 2u) << name;
    for (size_t i = 1; i < rows.size(); ++i) {
      ASSERT_EQ(rows[i].size(), 6u);
      const double angle = std::stod(rows[i][2]);
      EXPECT_EQ(angle < 5000 ? 0 : 1, f) << name << ": " << rows[i][3];
      EXPECT_EQ(rows[i][4], ports[f]) << name << ": " << rows[i][3];
      EXPECT_EQ(rows[i][5], ids[f]) << name << ": " << rows[i][3];
      recorded.push_back(angle);
    }
  }
  EXPECT_EQ(recorded, TrendedValues(*rig.form));
  EXPECT_TRUE(w.messages.empty()) << w.messages[0];
}

// Record pressed on and off twenty times at once: every press starts a file of its own,
// however many start within one second.
TEST(Recording, QuickTogglesEachStartAFile) {
  FormRig rig;
  RecordingWindow& w = rig.window;
  const std::string folder = rig.dir.Path() + "records";
  w.folderAnswer = folder;
  rig.Click(&ConsoleForm::btFolderClick);
  for (int i = 0; i < 20; ++i) {
    rig.Click(&ConsoleForm::btRecordClick);
    ASSERT_TRUE(rig.form->IsRecording()) << "press " << i << ": " << w.status[0];
    rig.Click(&ConsoleForm::btRecordClick);
  }
  EXPECT_EQ(CsvFiles(folder).size(), 20u);
  EXPECT_TRUE(w.messages.empty()) << w.messages[0];
}

// The count stays readable in the label's width however long the name and the count: the
// name gives way, keeping its end. Every character is taken as wide as a digit (two thirds
// of the font's height), the dot and ellipsis twice that.
TEST(Recording, TheRecordLabelAlwaysShowsTheWholeCount) {
  const int width = LayoutOf("lRecord").width;
  const std::string name = "2026-12-07_21-07-28_COM96-1234.csv";
  for (const uint64_t count : {uint64_t{0}, uint64_t{59800}, uint64_t{123456789}}) {
    const std::string label = RecordLabelText(name, count, width);
    EXPECT_TRUE(LabelNames(label, name, count)) << label;
    int digits = 0;
    for (const char c : label) {
      const auto byte = static_cast<unsigned char>(c);
      digits += byte < 0x80 ? 1 : byte >= 0xC0 ? 2 : 0;
    }
    EXPECT_LE(digits * (kFormFontPixels * 2 / 3), width) << label;
  }
  // A short name stays whole.
  EXPECT_EQ(RecordLabelText("r.csv", 59800, width), "\u25CF r.csv (59800)");
}

TEST(Recording, TheFolderDefaultsToTheDocumentsAndIsRememberedBesideTheExecutable) {
  TempDir documents;
  const char* old = std::getenv("XDG_DOCUMENTS_DIR");
  const std::string saved = old ? old : "";
  setenv("XDG_DOCUMENTS_DIR", documents.Path().c_str(), 1);
  {
    FormRig rig;
    RecordingWindow& w = rig.window;
    EXPECT_EQ(rig.form->RecordFolder(), documents.Path() + "/KELTA");
    EXPECT_EQ(w.Text(F::lRecord), "To " + documents.Path() + "/KELTA");
    // Cancelled: nothing changes, nothing is stored.
    rig.Click(&ConsoleForm::btFolderClick);
    ASSERT_EQ(w.folderStarts, std::vector<std::string>{documents.Path() + "/KELTA"});
    EXPECT_EQ(ReadFile(rig.dir.File(kRecordSettingsFileName)), "");

    // The default folder is made on the first recording.
    ASSERT_TRUE(rig.Connect());
    rig.Click(&ConsoleForm::btRecordClick);
    ASSERT_TRUE(rig.form->IsRecording()) << w.status[0];
    rig.Click(&ConsoleForm::btRecordClick);
    EXPECT_EQ(CsvFiles(documents.Path() + "/KELTA").size(), 1u);
    EXPECT_EQ(ReadFile(CsvFiles(documents.Path() + "/KELTA")[0]), CsvHeader());

    // Chosen once, found again by the next start in the same folder.
    w.folderAnswer = documents.Path() + "/chosen, with a comma";
    rig.Click(&ConsoleForm::btFolderClick);
    EXPECT_EQ(LoadRecordFolder(rig.dir.Path()), documents.Path() + "/chosen, with a comma");
  }
  if (old)
    setenv("XDG_DOCUMENTS_DIR", saved.c_str(), 1);
  else
    unsetenv("XDG_DOCUMENTS_DIR");
}

// A frame whose text is no number (two frames run together, an overflowing line, noise,
// nothing) is listed as received, but it is no reading: the needle and readout keep the last
// one, no row is recorded, the trend gets no point, and the health line counts it as dropped.
// A number beyond the sensor's range is still a reading.
TEST(Recording, AFrameThatIsNoNumberIsListedButNeitherShownRecordedNorTrended) {
  FormRig rig(Steady(12.5));
  RecordingWindow& w = rig.window;
  w.folderAnswer = rig.dir.Path() + "records";
  rig.Click(&ConsoleForm::btFolderClick);
  ASSERT_TRUE(rig.Connect());
  rig.Click(&ConsoleForm::btRecordClick);
  ASSERT_TRUE(rig.form->IsRecording()) << w.status[0];
  rig.Click(&ConsoleForm::btDATAClick);
  ASSERT_EQ(ShownValues(w), std::vector<double>{12.5});

  const std::vector<std::string> texts = {"12.513.5", "48421.048441.0", "#@!~", "", "-7200.5"};
  for (const std::string& text : texts)
    ASSERT_TRUE(rig.sensor.Simulated().WriteRaw("\x02" + text + "\x17XY$"));
  ASSERT_TRUE(w.PumpUntil([&w] { return w.memo.size() >= 6 && w.memo.back() == "-7200.5"; }));
  EXPECT_EQ(
      std::vector<std::string>(w.memo.end() - 6, w.memo.end()),
      (std::vector<std::string>{"12.5", "12.513.5", "48421.048441.0", "#@!~", "", "-7200.5"}));
  EXPECT_EQ(ShownValues(w), (std::vector<double>{12.5, -7200.5}));
  std::vector<float> trended;
  for (const auto& sample : rig.form->Trend().Samples(0, 1e300)) trended.push_back(sample.value);
  EXPECT_EQ(trended, (std::vector<float>{12.5f, -7200.5f}));
  EXPECT_TRUE(w.PumpUntil([&w] { return w.Text(F::lHealth).ends_with(", 4 dropped"); }))
      << w.Text(F::lHealth);

  rig.Click(&ConsoleForm::btRecordClick);
  const auto rows = Rows(CsvFiles(rig.dir.Path() + "records").at(0));
  std::vector<std::string> angles;
  for (size_t i = 1; i < rows.size(); ++i) angles.push_back(rows[i].at(2));
  EXPECT_EQ(angles, (std::vector<std::string>{"12.5", "-7200.5"}));
}

// A form clock that stands still until moved: whatever arrives comes within one frame of the
// last painting, however fast or slow the machine runs the test.
class HeldClock final : public FormClock {
 public:
  std::chrono::steady_clock::time_point Now() const override { return at; }
  std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
};

// Readings faster than the display's frames, each arriving on its own: every one is listed,
// recorded and trended, in order, while the window is painted only at once for the first
// (after a quiet spell) and at the frame's end with the newest. A reading after a quiet
// spell is painted as it is taken in, without waiting for a frame's timer.
TEST(Recording, ReadingsFasterThanTheFramesAreAllKeptAndPaintedOncePerFrame) {
  FormRig rig(Steady(12.5));
  RecordingWindow& w = rig.window;
  HeldClock clock;
  rig.form->SetClock(clock);
  w.folderAnswer = rig.dir.Path() + "records";
  rig.Click(&ConsoleForm::btFolderClick);
  ASSERT_TRUE(rig.Connect());
  rig.Click(&ConsoleForm::btRecordClick);
  ASSERT_TRUE(rig.form->IsRecording()) << w.status[0];
  rig.window.WaitWithMessages(50, [] { return false; });  // the information shown
  const size_t painted = w.angles.shown.size();
  const int appends = w.memoAppends;

  // One frame at a time, each taken in before the next is written; only the port's hand-offs
  // run meanwhile (no timer), all within one frame of the held clock.
  constexpr int kBurst = 50;
  std::vector<std::string> sent;
  std::vector<double> values;
  auto& loop = static_cast<LoopDispatcher&>(*w.dispatcher);
  clock.at += std::chrono::seconds(1);
  for (int i = 1; i <= kBurst; ++i) {
    sent.push_back(std::to_string(i) + ".5");
    values.push_back(i + 0.5);
    ASSERT_TRUE(rig.sensor.Simulated().WriteRaw(sim::DataFrame(sent.back())));
    ASSERT_TRUE(loop.RunUntil([&rig, i] { return rig.form->Trend().Size() == size_t(i); },
                              std::chrono::seconds(5)));
  }
  EXPECT_EQ(w.angles.shown.size(), painted + 1);  // the first, at once
  ASSERT_TRUE(w.PumpUntil([&w] { return w.angles.shown.back().first == kBurst + 0.5; }));
  EXPECT_EQ(w.angles.shown.size(), painted + 2);  // and the newest at the frame's end
  EXPECT_EQ(w.memoAppends, appends + 2);
  ASSERT_GE(w.memo.size(), sent.size());
  EXPECT_EQ(std::vector<std::string>(w.memo.end() - kBurst, w.memo.end()), sent);
  EXPECT_EQ(TrendedValues(*rig.form), values);

  // A quiet second, then one reading: painted and listed as it is taken in (no timer runs).
  const size_t shown = w.angles.shown.size();
  clock.at += std::chrono::seconds(1);
  ASSERT_TRUE(rig.sensor.Simulated().WriteRaw(sim::DataFrame("7.5")));
  ASSERT_TRUE(loop.RunUntil([&rig] { return rig.form->Trend().Size() == kBurst + 1; },
                            std::chrono::seconds(5)));
  ASSERT_EQ(w.angles.shown.size(), shown + 1);
  EXPECT_EQ(w.angles.shown.back().first, 7.5);
  EXPECT_EQ(w.memo.back(), "7.5");

  rig.Click(&ConsoleForm::btRecordClick);
  const auto rows = Rows(CsvFiles(rig.dir.Path() + "records").at(0));
  std::vector<std::string> recorded;
  for (size_t i = 1; i < rows.size(); ++i) recorded.push_back(rows[i].at(2));
  sent.push_back("7.5");
  EXPECT_EQ(recorded, sent);
}

// One time per reading, taken when its frame is decoded: the trend's point and the recording's
// row carry the same moment, however long the window takes between the two.
TEST(Recording, TheTrendAndTheRecordingTimeAReadingAlike) {
  FormRig rig(Counting(1));
  RecordingWindow& w = rig.window;
  w.folderAnswer = rig.dir.Path() + "records";
  rig.Click(&ConsoleForm::btFolderClick);
  ASSERT_TRUE(rig.Connect());
  rig.Click(&ConsoleForm::btRecordClick);
  ASSERT_TRUE(rig.form->IsRecording()) << w.status[0];
  // Each stamp a second after the one before, so that a reading stamped twice shows.
  const ConsoleForm::ReadingTime start = ConsoleForm::ReadingTimeNow();
  std::vector<ConsoleForm::ReadingTime> stamps;
  rig.form->SetReadingClock([&start, &stamps] {
    const std::chrono::seconds later(stamps.size() + 1);
    stamps.push_back({start.steady + later, start.wall + later});
    return stamps.back();
  });
  rig.Click(&ConsoleForm::btREADClick);
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Trend().Size() >= 5; }));
  rig.Click(&ConsoleForm::btStopClick);
  rig.Click(&ConsoleForm::btRecordClick);

  const auto rows = Rows(CsvFiles(rig.dir.Path() + "records").at(0));
  const auto samples = rig.form->Trend().Samples(0, 1e300);
  ASSERT_EQ(rows.size(), 1 + samples.size());
  ASSERT_EQ(stamps.size(), samples.size());
  for (size_t k = 0; k < samples.size(); ++k) {
    EXPECT_EQ(samples[k].time,
              std::chrono::duration<double>(stamps[k].steady.time_since_epoch()).count())
        << k;
    EXPECT_EQ(rows[k + 1].at(0), IsoLocalTime(stamps[k].wall)) << k;
  }
}

}  // namespace
}  // namespace kelta::test
