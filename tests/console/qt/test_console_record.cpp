// Recording from the real window, offscreen, against the simulated sensor: the folder chosen
// through the window's chooser, the toggle pressed in while a file is written, and the file
// holding every reading the window showed, in order.

#include "tests/console/qt/SensorRig.h"

#include "records/RecordSettings.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kelta::test {
namespace {

TEST(ConsoleRecord, TheToggleRecordsEveryShownReadingIntoTheChosenFolder) {
  sim::SensorConfig config;
  config.countFrom = 1;
  config.framesPerSecond = 40;
  SensorRig rig(config);
  TFVANTORIS& w = rig.w();
  std::vector<double> shown;
  w.Form().AngleReceived.Attach([&shown](double v) { shown.push_back(v); });

  const std::string folder = rig.dir.Path() + "records";
  rig.console->boxes->folder = QString::fromStdString(folder);
  Click(w, "btFolder");
  EXPECT_EQ(Text(w, "lRecord"), QString::fromStdString("To " + folder));
  ASSERT_TRUE(rig.Connect());
  Click(w, "btRecord");
  EXPECT_TRUE(w.btRecord->isChecked());
  Click(w, "btREAD");
  ASSERT_TRUE(rig.PumpUntil([&shown] { return shown.size() >= 10; }));
  const QString whileRecording = Text(w, "lRecord");
  Click(w, "btRecord");
  EXPECT_FALSE(w.btRecord->isChecked());
  const size_t recorded = shown.size();

  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  const std::vector<std::string> lines = ReadLines(files[0].string());
  ASSERT_EQ(lines.size(), 1 + recorded);
  EXPECT_EQ(lines[0], "time,seconds,angle,line,port,sensor_id");
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t angle = line.find(',', line.find(',') + 1) + 1;
    EXPECT_EQ(std::stod(line.substr(angle)), shown[i - 1]) << line;
  }
  EXPECT_EQ(shown.front(), 1.0);
  // The label names the file by its end (time, port) and fits the count in whole, in the
  // window's own font.
  const std::string name = files[0].filename().string();
  EXPECT_NE(whileRecording.indexOf(QString::fromStdString(name.substr(name.size() - 16))), -1)
      << whileRecording.toStdString();
  EXPECT_TRUE(whileRecording.endsWith(")")) << whileRecording.toStdString();
  EXPECT_LE(w.lRecord->fontMetrics().horizontalAdvance(whileRecording), w.lRecord->width())
      << whileRecording.toStdString();
  EXPECT_TRUE(rig.console->boxes->messages.isEmpty())
      << rig.console->boxes->messages.join("|").toStdString();
  EXPECT_EQ(LoadRecordFolder(rig.dir.Path()), folder);
}

}  // namespace
}  // namespace kelta::test
