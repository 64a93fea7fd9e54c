// A lost port is waited for only through the path it had, and a returning device is heard
// only for its ID check until it is taken back: no other device is opened, and nothing a
// refused or garbled device sends becomes a reading. On Linux: the cases drive the sensor in
// the test's own process and point COMn's fallback at a pseudo-terminal of their own.

#include "tests/console/form/RecordingWindow.h"

#include "apps/sim/PortLink.h"
#include "apps/sim/SensorWire.h"
#include "serial/VaComm.h"
#include "tests/support/Files.h"
#include "tests/support/OpenWatch.h"
#include "tests/support/Pty.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

namespace kelta::test {
namespace {

using F = FormControl;

bool Shown(const RecordingWindow& w, double value) {
  return std::any_of(w.angles.shown.begin(), w.angles.shown.end(),
                     [value](const auto& shown) { return shown.first == value; });
}

// The simulator ends (its link removed, then its terminal closed) while COM<N>'s fallback
// name leads to another device with a sensor of the same ID: that device is never opened,
// the port stays lost, and the link back leads to the port's return.
TEST(Reconnect, WithItsLinkGoneAPortNeverOpensTheFallbackDevice) {
  FormRig rig(Steady(12.5));
  RecordingWindow& w = rig.window;
  sim::SimulatedSensor other(Steady(66.6));
  other.Start();
  const std::string devDir = rig.dir.File("dev/");
  ASSERT_EQ(mkdir(devDir.c_str(), 0700), 0);
  const std::string fallback = devDir + "ttyS" + std::to_string(rig.com - 1);
  ASSERT_EQ(symlink(other.SlavePath().c_str(), fallback.c_str()), 0);
  OpenWatch opens(fallback);
  rig.form->VaComm1().SetDevDir(devDir);
  ASSERT_TRUE(rig.Connect());
  rig.Click(&ConsoleForm::btREADClick);
  ASSERT_TRUE(w.PumpUntil([&w] { return w.angles.shown.size() >= 3; }));

  rig.Quit();
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Connected == 0; }));
  ASSERT_EQ(rig.form->VaComm1().FormatOpenPath(), fallback);  // what COM<N> names now
  w.WaitWithMessages(2000, [] { return false; });             // four looks
  EXPECT_EQ(opens.Opens(), 0);
  EXPECT_EQ(other.ReceivedBytes(), "");
  EXPECT_EQ(rig.form->Connected, 0);
  EXPECT_EQ(w.status[0].rfind("COM" + std::to_string(rig.com) + " lost at ", 0), 0u) << w.status[0];
  EXPECT_FALSE(Shown(w, 66.6));

  TestSensor& back = rig.PlugIn(Steady(7.5));
  ASSERT_TRUE(w.PumpUntil([&w] { return Shown(w, 7.5); }));
  EXPECT_EQ(back.ReceivedBytes(), "#STOP\r\n#INFO\r\n#READ\r\n");
  EXPECT_EQ(opens.Opens(), 0);
  EXPECT_FALSE(Shown(w, 66.6));
}

// A port opened by its default name (no link) waits for that device: a link made for the
// same COM number meanwhile leads elsewhere and is not opened; the device back is taken back.
TEST(Reconnect, APortOpenedByItsDefaultNameWaitsForThatDevice) {
  FormRig rig(Steady(12.5));
  RecordingWindow& w = rig.window;
  const int com = rig.com + 1;  // no link: its default name in the test's own device folder
  const std::string devDir = rig.dir.File("dev/");
  ASSERT_EQ(mkdir(devDir.c_str(), 0700), 0);
  const std::string device = devDir + "ttyS" + std::to_string(com - 1);
  sim::SimulatedSensor first(Steady(1.5));
  first.Start();
  ASSERT_EQ(symlink(first.SlavePath().c_str(), device.c_str()), 0);
  rig.form->VaComm1().SetDevDir(devDir);
  w.SetText(F::ePortNo, "COM" + std::to_string(com));
  rig.Click(&ConsoleForm::Button3Click);
  ASSERT_TRUE(w.Visible(F::Panel1));

  // The device goes, and its name with it (as an adapter's node does): a dangling link to
  // the closed terminal would lead to whatever terminal another program opens next under
  // its number.
  first.HangUp();
  ASSERT_EQ(unlink(device.c_str()), 0);
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Connected == 0; }));
  sim::PortLink link(rig.dir.Path(), com, rig.sensor.Simulated().SlavePath(), false);
  w.WaitWithMessages(1500, [] { return false; });  // three looks
  EXPECT_EQ(rig.Received(), "");
  EXPECT_EQ(rig.form->Connected, 0);

  sim::SimulatedSensor second(Steady(2.5));
  second.Start();
  ASSERT_EQ(symlink(second.SlavePath().c_str(), device.c_str()), 0);
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->LostPortName().empty(); }));
  EXPECT_TRUE(w.Visible(F::Panel1));
  EXPECT_EQ(second.ReceivedBytes(), "#STOP\r\n#INFO\r\n");
  EXPECT_EQ(rig.Received(), "");
}

// Sensor 3, recording and streaming, is replaced by sensor 9 that streams already: it is
// stopped, refused, and none of its frames is listed, shown, trended or recorded.
TEST(Reconnect, AStreamingSensorOfAnotherIdLeaksNothingBeforeItIsRefused) {
  sim::SensorConfig config = Steady(3.3);
  config.settings.id = 3;
  FormRig rig(config);
  RecordingWindow& w = rig.window;
  w.folderAnswer = rig.dir.File("records");
  rig.Click(&ConsoleForm::btFolderClick);
  ASSERT_TRUE(rig.Connect());
  rig.Click(&ConsoleForm::btRecordClick);
  ASSERT_TRUE(rig.form->IsRecording()) << w.status[0];
  rig.Click(&ConsoleForm::btREADClick);
  ASSERT_TRUE(w.PumpUntil([&w] { return w.angles.shown.size() >= 3; }));
  rig.Quit();
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Connected == 0; }));
  const size_t shown = w.angles.shown.size(), listed = w.memo.size();
  const size_t trended = rig.form->Trend().Size();

  sim::SensorConfig nine = Steady(77.7);
  nine.settings.id = 9;
  TestSensor& back = rig.PlugIn(nine);
  {
    // Streaming before the console opens it: told "#READ" by someone else. The form runs
    // nothing until this test pumps its messages again.
    PtyClient earlier(back.Simulated().SlavePath());
    earlier.Write("#READ\r\n");
    while (!back.Streaming()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  back.ClearReceived();
  ASSERT_TRUE(w.PumpUntil([&w] { return !w.messages.empty(); }));
  EXPECT_EQ(w.messages.back(), "COM" + std::to_string(rig.com) +
                                   " came back with another sensor (ID 9 instead of 3); press "
                                   "Connect to use it.");
  EXPECT_EQ(back.ReceivedBytes().rfind("#STOP\r\n#INFO\r\n", 0), 0u) << back.ReceivedBytes();
  EXPECT_FALSE(back.Streaming());
  EXPECT_EQ(w.angles.shown.size(), shown);
  EXPECT_EQ(w.memo.size(), listed);
  EXPECT_EQ(rig.form->Trend().Size(), trended);
  rig.Click(&ConsoleForm::btRecordClick);  // the file closed: all it holds is on disk
  ASSERT_FALSE(rig.form->IsRecording());
  for (const auto& file : std::filesystem::directory_iterator(w.folderAnswer))
    EXPECT_EQ(ReadFile(file.path().string()).find("77.7"), std::string::npos) << file.path();
}

// Information lines that name no sensor address (a lost comma, noise holding "V:") are no
// answer: no refusal, the wait goes on, and the real sensor's reply takes the port back.
TEST(Reconnect, AGarbledInformationLineIsNoAnswer) {
  FormRig rig(Steady(12.5));
  RecordingWindow& w = rig.window;
  ASSERT_TRUE(rig.Connect());
  rig.Quit();
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Connected == 0; }));

  // Back mute: its first "#INFO" gets garbled lines only, the next ones the real reply.
  struct {
    std::atomic<sim::SimulatedSensor*> sensor{nullptr};
    std::atomic<bool> wrote{false}, sent{false};
  } garbler;
  sim::SensorConfig mute = Steady(12.5);
  mute.silent = true;
  mute.lineObserver = [&garbler](const std::string& line) {
    sim::SimulatedSensor* sensor = garbler.sensor.load();
    if (line != "#INFO" || !sensor || garbler.wrote.exchange(true)) return;
    std::string lostComma = sim::InfoLine(sensor->Settings());
    lostComma.erase(lostComma.find(",DM:"), 1);  // "I:B1DM:0"
    garbler.sent = sensor->WriteRaw(lostComma + "\x8f\x12V:\xff\xfe,I:\x01\r");
    sensor->Update([](sim::SensorConfig& c) { c.silent = false; });
  };
  garbler.sensor = &rig.PlugIn(mute).Simulated();
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->LostPortName().empty(); }));
  EXPECT_TRUE(garbler.sent);
  EXPECT_TRUE(w.messages.empty()) << w.messages.front();
  EXPECT_EQ(rig.form->Connected, 1);
  EXPECT_TRUE(w.Visible(F::Panel1));
  EXPECT_EQ(w.Text(F::lbeID), "1");
  EXPECT_EQ(w.status[0].rfind("COM" + std::to_string(rig.com) + " back at ", 0), 0u) << w.status[0];
}

}  // namespace
}  // namespace kelta::test
