// The console against a sensor that does not answer: the retry counts, the status texts the
// operator sees meanwhile, and the console-wide state shared by a click that runs inside
// another action's wait.

#include "tests/console/qt/SensorRig.h"

#include <QPushButton>

#include <gtest/gtest.h>

namespace kelta::test {
namespace {

QStringList TryTexts(int from, int to) {
  QStringList texts;
  for (int i = from; i <= to; ++i) texts << QStringLiteral("Try Connect %1[sec]").arg(i);
  return texts;
}

// A console connected to an answering sensor that then falls silent; its waits then pass
// without sleeping unless the test needs real time (a click timed into a wait).
struct SilencedRig : SensorRig {
  explicit SilencedRig(bool skipWaits = true) {
    connected = Connect();
    SetSilent(true);
    sensor.ClearReceived();
    clock.Skip(skipWaits);
  }
  bool connected = false;
};

TEST(ConsoleSilent, ConnectToASilentSensorSaysSoAndKeepsThePortOpen) {
  sim::SensorConfig config;
  config.silent = true;
  SensorRig rig(config);
  TFVANTORIS& w = rig.w();
  StatusRecorder status(w, 0);
  rig.clock.Skip(true);
  EXPECT_FALSE(rig.Connect());
  rig.AwaitReceived(Times(6, "#INFO\r\n").size());
  EXPECT_EQ(rig.Received(), Times(6, "#INFO\r\n"));
  EXPECT_GE(rig.clock.Skipped(), std::chrono::milliseconds(6 * 500));
  EXPECT_EQ(
      rig.console->boxes->messages,
      QStringList{QStringLiteral("Can not connect to Sensor. Check the sensor or your PC!! ")});
  EXPECT_TRUE(w.Panel2->isVisible());
  EXPECT_EQ(w.Form().Connected, 1);
  EXPECT_EQ(status.Seen(), QStringList{QStringLiteral("Open Com")} + TryTexts(1, 6) +
                               QStringList{QStringLiteral("No answer")});

  // A second Connect only asks again; the port is not reopened.
  rig.clock.Skip(false);
  rig.SetSilent(false);
  rig.sensor.ClearReceived();
  EXPECT_TRUE(rig.Connect());
  EXPECT_EQ(rig.Received(), "#INFO\r\n");
}

TEST(ConsoleSilent, UnansweredReadIsSentSixTimesThenNoAnswer) {
  SilencedRig rig;
  ASSERT_TRUE(rig.connected);
  TFVANTORIS& w = rig.w();
  StatusRecorder status(w, 0);
  Click(w, "btREAD");
  rig.AwaitReceived(Times(6, "#READ\r\n").size());
  EXPECT_EQ(rig.Received(), Times(6, "#READ\r\n"));
  EXPECT_EQ(status.Seen(), TryTexts(1, 6) + QStringList{QStringLiteral("No answer")});
  EXPECT_EQ(w.Form().TryCount, 6);
}

TEST(ConsoleSilent, StopToASilentSensorIsSentOnce) {
  SilencedRig rig;
  ASSERT_TRUE(rig.connected);
  TFVANTORIS& w = rig.w();
  Click(w, "btStop");
  rig.AwaitReceived(7);
  EXPECT_EQ(rig.Received(), "#STOP\r\n");
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Try Connect 1[sec]"));
  EXPECT_TRUE(w.Form().StopRequested);
}

TEST(ConsoleSilent, UnansweredIdMeasurementPollsTwicePerPass) {
  SilencedRig rig;
  ASSERT_TRUE(rig.connected);
  TFVANTORIS& w = rig.w();
  Type(w, "Edit1", QStringLiteral("1"));
  Type(w, "eCount", QStringLiteral("2"));
  Type(w, "eInterval", QStringLiteral("100"));
  Click(w, "btB105");
  rig.AwaitReceived(8);
  EXPECT_EQ(rig.Received(), Times(4, std::string("\xB1\x05", 2)));
  EXPECT_EQ(w.StatusText(0), QStringLiteral("No answer"));
  EXPECT_EQ(Text(w, "lCount"), QStringLiteral("2"));
}

TEST(ConsoleSilent, NestedExchangeLeavesTheSharedCounterAboveFive) {
  SilencedRig rig(false);
  ASSERT_TRUE(rig.connected);
  TFVANTORIS& w = rig.w();
  // The range change runs to its end inside the first wait of "#READ": six sends. "#READ"
  // then finds the shared counter at 7 and gives up without sending again.
  ClickLater(w, "Button25", 400);
  Click(w, "btREAD");
  EXPECT_EQ(rig.Received(), "#READ\r\n" + Times(6, "#CALI14\r\n"));
  EXPECT_EQ(w.Form().TryCount, 7);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("No answer"));
  EXPECT_EQ(w.StatusText(1), QStringLiteral("#CALI14\r\n"));
}

TEST(ConsoleSilent, IdChangeAfterAnOkLineEndsAtOnceAndRefreshes) {
  SensorRig rig;
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  // A raw "#MODE2" gets "OK", which stays the last line.
  Type(w, "ed360Send2", QStringLiteral("#MODE2"));
  Click(w, "bt360Send2");
  ASSERT_TRUE(rig.PumpUntil([&w] { return w.Form().LastLine == "OK"; }));
  rig.SetSilent(true);
  rig.sensor.ClearReceived();
  rig.clock.Skip(true);

  rig.console->boxes->answers.push_back(true);
  Type(w, "eID", QStringLiteral("5"));
  Click(w, "btIDchange");
  rig.AwaitReceived(("#ID5\r\n" + Times(6, "#INFO\r\n")).size());
  EXPECT_EQ(rig.Received(), "#ID5\r\n" + Times(6, "#INFO\r\n"));
  EXPECT_EQ(w.StatusText(0), QStringLiteral("No answer"));
}

TEST(ConsoleSilent, UnansweredInformationKeepsTheFields) {
  sim::SensorConfig config;
  config.settings.mode = "3";
  SensorRig rig(config);
  TFVANTORIS& w = rig.w();
  int raised = 0;
  w.Form().DialSettingsRead.Attach([&raised](const std::string&, const std::string&) { ++raised; });
  ASSERT_TRUE(rig.Connect());
  rig.SetSilent(true);
  rig.sensor.Update([](sim::SensorConfig& c) { c.settings.mode = "0"; });
  rig.clock.Skip(true);
  Click(w, "btn10");
  EXPECT_EQ(w.StatusText(0), QStringLiteral("No answer"));
  EXPECT_EQ(Text(w, "lbeMode"), QStringLiteral("3"));
  EXPECT_EQ(Text(w, "lbeVersion"), QStringLiteral("1.00"));
  EXPECT_EQ(raised, 1);
}

}  // namespace
}  // namespace kelta::test
