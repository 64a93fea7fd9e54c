// The console's behaviour without a toolkit: the form in front of a recording window, talking
// to the simulated sensor over a real pseudo-terminal, its port's hand-offs run during the
// form's waits. On Linux and under Wine (tools/wine-console-form.sh); the cases that change the
// sensor while it runs or need Linux's permissions are in test_console_form_linux.cpp.

#include "tests/console/form/RecordingWindow.h"

#include "apps/sim/SensorWire.h"
#include "base/Errors.h"
#include "serial/VaComm.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace kelta::test {
namespace {

using F = FormControl;

std::string Times(int n, const std::string& text) {
  std::string all;
  for (int i = 0; i < n; ++i) all += text;
  return all;
}

TEST(ConsoleForm, ConnectFillsTheInformationAndShowsTheConsole) {
  sim::SensorConfig config;
  config.settings.version = "2.07";
  config.settings.mode = "1";
  config.settings.negativeRange = 900;
  config.settings.positiveRange = 3600;  // travels as "0"
  config.settings.mvGain = "1234";
  FormRig rig(config, 12);
  RecordingWindow& w = rig.window;
  // The port list was filled at start, and the settings' port name typed over it.
  EXPECT_EQ(w.Text(F::ePortNo), "COM1");
  std::vector<std::pair<std::string, std::string>> dial;
  std::string mvGainThen = "unset";
  rig.form->DialSettingsRead.Attach([&](const std::string& range, const std::string& mode) {
    dial.emplace_back(range, mode);
    mvGainThen = w.Text(F::lbeMVGain);
  });

  ASSERT_TRUE(rig.Connect());
  EXPECT_EQ(rig.Received(), "#INFO\r\n");
  EXPECT_FALSE(w.Visible(F::Panel2));
  EXPECT_TRUE(w.messages.empty());
  EXPECT_EQ(rig.form->Connected, 1);
  EXPECT_FALSE(rig.form->StopRequested);
  EXPECT_EQ(w.status[0], "Try Connect 1[sec]");
  EXPECT_EQ(w.status[1], "#INFO\r\n");
  EXPECT_EQ(w.statusSeen[0].front(), "Open Com");

  const std::string line = sim::InfoLine(rig.sensor.Settings());
  ASSERT_EQ(w.memo.size(), 1u);
  EXPECT_EQ(w.memo[0], line.substr(0, line.size() - 1));
  const std::pair<F, const char*> fields[] = {
      {F::lbeVersion, "2.07"}, {F::lbeID, "1"},        {F::lbeMode, "1"},
      {F::lbeCalDone, "1"},    {F::lbeOffset, "0"},    {F::lbeNRange, "900"},
      {F::lbePRange, "3600"},  {F::lbeMVGain, "1234"}, {F::lbeMVOffset, "0"},
      {CalField(0), "100"},    {CalField(11), "111"},
  };
  for (const auto& [field, value] : fields)
    EXPECT_EQ(w.Text(field), value) << static_cast<int>(field);
  // Raised once, with the full turn shown as 3600 and the mV gain not yet stored.
  ASSERT_EQ(dial.size(), 1u);
  EXPECT_EQ(dial[0], std::make_pair(std::string("3600"), std::string("1")));
  EXPECT_EQ(mvGainThen, "");
}

TEST(ConsoleForm, ASilentSensorIsNotConnectedAndAButtonWithoutAPortSaysSo) {
  // Nothing can come from a silent sensor: its waits pass without sleeping.
  SkippingFormClock clock;
  sim::SensorConfig config;
  config.silent = true;
  FormRig rig(config);
  RecordingWindow& w = rig.window;
  rig.Click(&ConsoleForm::btREADClick);
  EXPECT_EQ(w.messages, std::vector<std::string>{"Open Com port."});
  EXPECT_EQ(rig.Received(), "");

  rig.form->SetClock(clock);
  clock.Skip(true);
  EXPECT_FALSE(rig.Connect());
  w.PumpUntil([&rig] { return rig.Received().size() >= Times(6, "#INFO\r\n").size(); });
  EXPECT_EQ(rig.Received(), Times(6, "#INFO\r\n"));
  EXPECT_EQ(w.status[0], "No answer");
  EXPECT_EQ(w.messages.back(), "Can not connect to Sensor. Check the sensor or your PC!! ");
  EXPECT_TRUE(w.Visible(F::Panel2));
  EXPECT_FALSE(w.Visible(F::Panel1));
}

TEST(ConsoleForm, CountedReadingShowsEachValueAndStopEndsAStream) {
  FormRig rig(Steady(12.5));
  RecordingWindow& w = rig.window;
  std::vector<double> angles;
  rig.form->AngleReceived.Attach([&angles](double v) { angles.push_back(v); });
  ASSERT_TRUE(rig.Connect());
  rig.sensor.ClearReceived();
  w.memo.clear();

  w.SetText(F::eCount, "3");
  w.SetText(F::eInterval, "200");
  rig.Click(&ConsoleForm::btDATAClick);
  EXPECT_EQ(rig.Received(), Times(3, "#DATA\r\n"));
  EXPECT_EQ(angles, std::vector<double>(3, 12.5));
  EXPECT_EQ(w.memo, std::deque<std::string>(3, "12.5"));
  EXPECT_EQ(w.Text(F::lCount), "3");
  EXPECT_TRUE(rig.form->StopRequested);

  // Continuous reading, then "#STOP" until the line is quiet.
  rig.sensor.ClearReceived();
  rig.Click(&ConsoleForm::btREADClick);
  EXPECT_TRUE(w.PumpUntil([&angles] { return angles.size() >= 8; }));
  rig.Click(&ConsoleForm::btStopClick);
  EXPECT_FALSE(rig.sensor.Streaming());
  EXPECT_EQ(rig.Received().substr(0, 14), "#READ\r\n#STOP\r\n");
  EXPECT_EQ(w.status[1], "#STOP\r\n");
}

TEST(ConsoleForm, IdChangeAsksAndRefreshesRangesAndRawLinesAreSentOnce) {
  FormRig rig;
  RecordingWindow& w = rig.window;
  ASSERT_TRUE(rig.Connect());
  rig.sensor.ClearReceived();

  w.SetText(F::eID, "78");
  rig.Click(&ConsoleForm::btIDchangeClick);
  EXPECT_EQ(w.messages, std::vector<std::string>{"\"MAX ID = 77!!!. Please Insert again.\""});
  w.SetText(F::eID, "9");
  rig.Click(&ConsoleForm::btIDchangeClick);  // answered No
  EXPECT_EQ(rig.Received(), "");
  w.answers.push_back(true);
  w.SetText(F::eID, "007");
  rig.Click(&ConsoleForm::btIDchangeClick);
  EXPECT_EQ(w.questions,
            (std::vector<std::string>{"Do you want ID Change(9)?", "Do you want ID Change(007)?"}));
  EXPECT_EQ(rig.Received(), "#ID7\r\n#INFO\r\n");
  EXPECT_EQ(w.Text(F::lbeID), "7");

  rig.sensor.ClearReceived();
  w.SetText(F::leRangeP, "3600");
  rig.Click(&ConsoleForm::Button26Click);
  EXPECT_EQ(rig.Received(), "#CALI150\r\n#INFO\r\n");
  EXPECT_EQ(w.Text(F::lbePRange), "3600");

  rig.sensor.ClearReceived();
  w.SetText(F::ed360Send3, "#MODE3");
  rig.Click(&ConsoleForm::bt360Send3Click);
  rig.Click(&ConsoleForm::btn25Click);
  EXPECT_EQ(w.statusSeen[1].back(), "#SAVE\r\n");
  EXPECT_TRUE(rig.sensor.WaitForReceived("#MODE3\r\n#SAVE\r\n", std::chrono::seconds(5)));
}

// Texts the window gets are UTF-8: a byte off the wire is the character of the same number,
// and the port name's first three characters are skipped as characters, not bytes.
TEST(ConsoleForm, WireBytesShowAsCharactersAndThePortNameSkipsThreeCharacters) {
  FormRig rig;
  RecordingWindow& w = rig.window;
  rig.form->DeliverLine(
      "\xB5"
      "12.5\xFF");
  EXPECT_EQ(w.memo.back(),
            "\u00B5"
            "12.5\u00FF");
  EXPECT_EQ(rig.form->LastLine,
            "\xB5"
            "12.5\xFF");
  std::string longLine(ConsoleForm::kMemoLineChars + 7, 'a');
  longLine[ConsoleForm::kMemoLineChars - 1] = '\xE9';
  rig.form->DeliverLine(longLine);
  ASSERT_TRUE(w.PumpUntil([&w] { return w.memo.size() == 2; }));  // a frame later
  EXPECT_EQ(w.memo.back(),
            std::string(ConsoleForm::kMemoLineChars - 1, 'a') + "\u00E9 \u2026 (+7 bytes)");

  w.SetText(F::ePortNo, "\u00C7OM" + std::to_string(rig.com));
  rig.Click(&ConsoleForm::Button3Click);
  EXPECT_EQ(rig.form->Connected, 1);
  EXPECT_TRUE(w.Visible(F::Panel1));
}

// "COM7 lost at 14:02:11, waiting for it to come back"
bool IsLostText(const std::string& text, int com) {
  return std::regex_match(text, std::regex("COM" + std::to_string(com) +
                                           " lost at \\d\\d:\\d\\d:\\d\\d, waiting for it to "
                                           "come back"));
}

// The sensor unplugged mid-stream: said where the operator looks, readout not live, nothing
// sent meanwhile; the same sensor back under the same COM name (a new terminal linked there)
// is reopened, checked by its ID, and streams again.
TEST(ConsoleForm, ALostSensorIsShownAndTheSameOneBackStreamsAgain) {
  FormRig rig(Steady(12.5));
  RecordingWindow& w = rig.window;
  std::vector<double> angles;
  rig.form->AngleReceived.Attach([&angles](double v) { angles.push_back(v); });
  ASSERT_TRUE(rig.Connect());
  rig.Click(&ConsoleForm::btREADClick);
  ASSERT_TRUE(w.PumpUntil([&angles] { return angles.size() >= 3; }));

  rig.Unplug();
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Connected == 0; }));
  EXPECT_TRUE(IsLostText(w.status[0], rig.com)) << w.status[0];
  EXPECT_EQ(rig.form->LostPortName(), "COM" + std::to_string(rig.com));
  EXPECT_FALSE(w.angles.live);
  EXPECT_TRUE(w.Visible(F::Panel2));
  // Gone for a while (the link leads nowhere): still waiting, nothing else said.
  w.WaitWithMessages(1200, [] { return false; });
  EXPECT_EQ(rig.form->Connected, 0);
  EXPECT_TRUE(IsLostText(w.status[0], rig.com)) << w.status[0];

  sim::SensorConfig config = Steady(7.5);
  TestSensor& back = rig.PlugIn(config);
  ASSERT_TRUE(w.PumpUntil([&angles] { return !angles.empty() && angles.back() == 7.5; }));
  EXPECT_EQ(rig.form->Connected, 1);
  EXPECT_TRUE(w.angles.live);
  EXPECT_TRUE(w.Visible(F::Panel1));
  EXPECT_FALSE(w.Visible(F::Panel2));
  EXPECT_EQ(rig.form->LostPortName(), "");
  EXPECT_EQ(back.ReceivedBytes(), "#STOP\r\n#INFO\r\n#READ\r\n");
  EXPECT_TRUE(back.Streaming());
  EXPECT_TRUE(w.messages.empty());
}

// A counted reading running when the device goes: the loop ends, the lost text stays.
TEST(ConsoleForm, ALostSensorEndsARunningCountedReading) {
  FormRig rig(Steady(1.0));
  RecordingWindow& w = rig.window;
  ASSERT_TRUE(rig.Connect());
  w.SetText(F::eCount, "40");
  w.SetText(F::eInterval, "200");
  w.After(700, [&rig] { rig.Unplug(); });
  rig.Click(&ConsoleForm::btDATAClick);
  EXPECT_EQ(rig.form->Connected, 0);
  EXPECT_LT(std::stoi(w.Text(F::lCount)), 20);
  EXPECT_TRUE(IsLostText(w.status[0], rig.com)) << w.status[0];
  // Lost from the first report on: no attempt counted after it.
  const auto& seen = w.statusSeen[0];
  const auto lost = std::find_if(seen.begin(), seen.end(),
                                 [&rig](const std::string& t) { return IsLostText(t, rig.com); });
  ASSERT_NE(lost, seen.end());
  EXPECT_EQ(std::count_if(lost, seen.end(),
                          [](const std::string& t) { return t.rfind("Try Connect", 0) == 0; }),
            0);
}

// Another sensor (another ID) on the lost port is not taken silently: the operator is told and
// left to Connect, and the form stops waiting.
TEST(ConsoleForm, AnotherSensorOnTheLostPortIsRefused) {
  FormRig rig(Steady(3.0));
  RecordingWindow& w = rig.window;
  ASSERT_TRUE(rig.Connect());
  ASSERT_EQ(w.Text(F::lbeID), "1");
  rig.Unplug();
  ASSERT_TRUE(w.PumpUntil([&rig] { return rig.form->Connected == 0; }));

  sim::SensorConfig other = Steady(3.0);
  other.settings.id = 5;
  TestSensor& back = rig.PlugIn(other);
  ASSERT_TRUE(w.PumpUntil([&w] { return !w.messages.empty(); }));
  EXPECT_EQ(w.messages.back(),
            "COM" + std::to_string(rig.com) +
                " came back with another sensor (ID 5 instead of 1); press Connect to use it.");
  EXPECT_EQ(rig.form->Connected, 0);
  EXPECT_FALSE(rig.form->VaComm1().IsOpen());
  EXPECT_TRUE(w.Visible(F::Panel2));
  EXPECT_FALSE(w.angles.live);
  EXPECT_EQ(w.Text(F::lbeID), "1");
  w.WaitWithMessages(1500, [] { return false; });  // no more tries
  EXPECT_EQ(back.ReceivedBytes(), "#STOP\r\n#INFO\r\n");

  // Connect takes it, by the operator's choice.
  ASSERT_TRUE(rig.Connect());
  EXPECT_EQ(w.Text(F::lbeID), "5");
  EXPECT_TRUE(w.angles.live);
}

TEST(ConsoleForm, CloseDuringACountedReadingClosesThePortAndSavesTheFields) {
  FormRig rig(Steady(1.0));
  RecordingWindow& w = rig.window;
  ASSERT_TRUE(rig.Connect());
  w.SetText(F::eCount, "50");
  w.SetText(F::eInterval, "200");
  // The close runs inside one of the reading's waits; the reading ends with it.
  w.After(500, [&rig] { rig.Click(&ConsoleForm::btCloseClick); });
  rig.Click(&ConsoleForm::btDATAClick);
  EXPECT_EQ(w.closed, 1);
  EXPECT_EQ(rig.form->Connected, 0);
  EXPECT_FALSE(rig.form->VaComm1().IsOpen());
  EXPECT_LT(rig.sensor.ReceivedBytes().size(), 20 * 7u);
  const std::string saved = ReadFile(rig.dir.File("UserSet.dat"));
  ASSERT_EQ(saved.size(), 61u);
  const std::string port = "COM" + std::to_string(rig.com);
  EXPECT_NE(saved.find(static_cast<char>(port.size()) + port), std::string::npos);
  EXPECT_NE(saved.find(std::string("\x02") + "50"), std::string::npos);

  // A failing log is not an escape: the guard takes everything a handler throws.
  rig.form->Guarded([] { throw EConvertError("'x' is not a valid integer value"); });
  EXPECT_EQ(w.status[0].rfind("'x' is not a valid integer value - ", 0), 0u);
  EXPECT_EQ(ReadFile(rig.dir.File("LogFile.Log")).rfind("'x' is not a valid", 0), 0u);
}

}  // namespace
}  // namespace kelta::test
