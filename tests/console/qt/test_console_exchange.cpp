// The console against an answering simulated sensor, driven through its buttons and fields:
// the bytes the sensor receives, the status panels, the received list and the information.

#include "tests/console/qt/SensorRig.h"

#include "apps/sim/SensorWire.h"
#include "console/qt/WaitWithMessages.h"
#include "serial/VaComm.h"
#include "sevenseg/SevenSegmentCanvas.h"
#include "sevenseg/qt/iSevenSegmentAnalog.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>

namespace kelta::test {
namespace {

sim::SensorConfig Steady(double angle) {
  sim::SensorConfig c;
  c.fixedAngle = angle;
  c.framesPerSecond = 20;
  return c;
}

struct DialCall {
  QString range, mode, mvGainThen;
};

TEST(ConsoleExchange, ConnectReadsTheInformationAndShowsTheConsole) {
  sim::SensorConfig config;
  config.settings.version = "2.07";
  config.settings.mode = "1";
  config.settings.negativeRange = 900;
  config.settings.mvGain = "1234";
  // COM12: the whole number after "COM" names the port.
  SensorRig rig(config, 12);
  TFVANTORIS& w = rig.w();
  std::vector<DialCall> dial;
  w.Form().DialSettingsRead.Attach([&dial, &w](const std::string& range, const std::string& mode) {
    dial.push_back(
        {QString::fromStdString(range), QString::fromStdString(mode), w.lbeMVGain->text()});
  });

  ASSERT_TRUE(rig.Connect());
  EXPECT_EQ(rig.Received(), "#INFO\r\n");
  EXPECT_FALSE(w.Panel2->isVisible());
  EXPECT_TRUE(rig.console->boxes->messages.isEmpty());
  EXPECT_EQ(w.Form().Connected, 1);
  EXPECT_FALSE(w.Form().StopRequested);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Try Connect 1[sec]"));
  EXPECT_EQ(w.StatusText(1), QStringLiteral("#INFO\r\n"));

  const std::string line = sim::InfoLine(rig.sensor.Settings());
  EXPECT_EQ(MemoLines(w), QStringList{QString::fromStdString(line.substr(0, line.size() - 1))});

  const std::pair<const char*, const char*> fields[] = {
      {"lbeVersion", "2.07"}, {"lbeID", "1"},       {"lbeMode", "1"},      {"lbeCalDone", "1"},
      {"lbeOffset", "0"},     {"lbeNRange", "900"}, {"lbePRange", "1800"}, {"lbeMVGain", "1234"},
      {"lbeMVOffset", "0"},   {"lbeCal0", "100"},   {"lbeCal9", "109"},    {"lbeCal10", "110"},
      {"lbeCal11", "111"},
  };
  for (const auto& [name, value] : fields)
    EXPECT_EQ(Text(w, name), QString::fromLatin1(value)) << name;
  EXPECT_FALSE(w.lbeMode->isVisible());

  // Raised once, with items 1 to 7 stored and item 8 not yet.
  ASSERT_EQ(dial.size(), 1u);
  EXPECT_EQ(dial[0].range, QStringLiteral("1800"));
  EXPECT_EQ(dial[0].mode, QStringLiteral("1"));
  EXPECT_EQ(dial[0].mvGainThen, QString());
}

// A sensor that goes away (its pseudo-terminal closed, as an unplugged adapter) and comes back
// under the same COM name (a new one linked there) is reached by the next Connect: the lost
// port was closed and the console is not connected any more.
TEST(ConsoleExchange, ConnectAfterTheDeviceWasLostAndCameBackOpensThePortAnew) {
  SensorRig rig;
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  StatusRecorder status(w, 0);
  rig.sensor.HangUp();
  ASSERT_TRUE(rig.PumpUntil([&w] { return w.Form().Connected == 0; }));
  EXPECT_FALSE(w.Form().VaComm1().IsOpen());
  const QStringList seen = status.Seen();
  ASSERT_EQ(seen.size(), 3);
  EXPECT_EQ(seen[0], QStringLiteral("An I/O error occurred during communications with the "
                                    "device."));
  EXPECT_EQ(seen[1], QStringLiteral("Close Com"));
  EXPECT_TRUE(seen[2].startsWith(QStringLiteral("COM7 lost at "))) << seen[2].toStdString();
  EXPECT_TRUE(seen[2].endsWith(QStringLiteral(", waiting for it to come back")));
  // The connect panel is back, above the console, so the operator can connect again; the
  // readout greys: its value is not live.
  EXPECT_TRUE(w.Panel2->isVisible());
  EXPECT_EQ(w.ssaValue->SegmentColor(), sevenseg::clGray);

  sim::SensorConfig config;
  config.settings.version = "3.01";
  sim::SimulatedSensor back(config);
  back.Start();
  rig.link.reset();  // first: the new terminal may get the old one's name
  rig.link = std::make_unique<sim::PortLink>(rig.dir.Path(), rig.com, back.SlavePath(), false);
  Click(w, "Button3");
  EXPECT_EQ(w.Form().Connected, 1);
  EXPECT_EQ(back.ReceivedBytes(), "#INFO\r\n");
  EXPECT_EQ(Text(w, "lbeVersion"), QStringLiteral("3.01"));
  EXPECT_TRUE(rig.console->boxes->messages.isEmpty());
  EXPECT_FALSE(w.Panel2->isVisible());
  EXPECT_EQ(w.ssaValue->SegmentColor(), sevenseg::clLime);
  rig.console.reset();  // the window (and its port) goes before the sensor it talks to
}

// Left alone, the window takes the same sensor back by itself once it is linked again (the
// window's timer looks for it), and the readout is live again.
TEST(ConsoleExchange, TheSameSensorBackUnderItsNameIsTakenBackByItself) {
  SensorRig rig;
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  // The dial view with its needle as the window shows it (Dst's effect applies when its
  // parent paints it), the readout blanked: its grey is checked on its own.
  const auto dialShown = [&w] {
    QImage shown = w.Panel1->grab(w.Dst->geometry()).toImage();
    QPainter(&shown).fillRect(w.ssaValue->geometry(), Qt::black);
    return shown;
  };
  const QImage live = dialShown();
  rig.sensor.HangUp();
  ASSERT_TRUE(rig.PumpUntil([&w] { return w.Form().Connected == 0; }));
  ASSERT_EQ(w.ssaValue->SegmentColor(), sevenseg::clGray);
  // The needle is marked too: the whole dial view is dimmed, not only the readout.
  EXPECT_NE(dialShown(), live);

  sim::SimulatedSensor back;
  back.Start();
  rig.link.reset();
  rig.link = std::make_unique<sim::PortLink>(rig.dir.Path(), rig.com, back.SlavePath(), false);
  ASSERT_TRUE(rig.PumpUntil([&w] { return !w.Panel2->isVisible(); }));
  EXPECT_EQ(w.Form().Connected, 1);
  // A returning sensor is stopped before it is asked who it is.
  EXPECT_EQ(back.ReceivedBytes(), "#STOP\r\n#INFO\r\n");
  EXPECT_TRUE(w.StatusText(0).startsWith(QStringLiteral("COM7 back at ")));
  EXPECT_EQ(w.ssaValue->SegmentColor(), sevenseg::clLime);
  EXPECT_EQ(dialShown(), live);
  EXPECT_TRUE(rig.console->boxes->messages.isEmpty());
  rig.console.reset();
}

TEST(ConsoleExchange, FullTurnIsShownAs3600AndAFailingDialKeepsTheLaterItems) {
  sim::SensorConfig config;
  config.settings.positiveRange = 3600;  // reported as "0"
  config.settings.id = 77;
  SensorRig rig(config);
  TFVANTORIS& w = rig.w();
  std::vector<QString> ranges;
  w.Form().DialSettingsRead.Attach([&ranges](const std::string& range, const std::string&) {
    ranges.push_back(QString::fromStdString(range));
  });
  ASSERT_TRUE(rig.Connect());
  EXPECT_EQ(Text(w, "lbePRange"), QStringLiteral("3600"));
  EXPECT_EQ(Text(w, "lbeID"), QStringLiteral("77"));
  EXPECT_EQ(ranges, std::vector<QString>{QStringLiteral("3600")});

  // A dial picture that cannot be loaded ends the action after item 7.
  w.Form().DialSettingsRead.Attach([](const std::string&, const std::string&) {
    throw std::runtime_error("img/Mode0.png: cannot open");
  });
  rig.sensor.Update([](sim::SensorConfig& c) {
    c.settings.negativeRange = 450;
    c.settings.mvGain = "2222";
  });
  Click(w, "btn10");
  EXPECT_EQ(Text(w, "lbeNRange"), QStringLiteral("450"));
  EXPECT_EQ(Text(w, "lbeMVGain"), QStringLiteral("1000"));
  EXPECT_TRUE(IsStampedLine(w.StatusText(0), QStringLiteral("img/Mode0.png: cannot open")));
  EXPECT_EQ(ReadLines(rig.dir.File("LogFile.Log")).size(), 1u);
}

TEST(ConsoleExchange, ContinuousReadingShowsEveryFrameUntilStop) {
  SensorRig rig(Steady(-12.3));
  TFVANTORIS& w = rig.w();
  std::vector<double> angles;
  w.Form().AngleReceived.Attach([&angles](double v) { angles.push_back(v); });
  ASSERT_TRUE(rig.Connect());
  rig.sensor.ClearReceived();
  w.Memo1->clear();

  Click(w, "btREAD");
  EXPECT_EQ(rig.Received(), "#READ\r\n");
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Try Connect 1[sec]"));
  EXPECT_EQ(w.StatusText(1), QStringLiteral("#READ\r\n"));
  ASSERT_TRUE(rig.PumpUntil([&angles] { return angles.size() >= 5; }));
  EXPECT_TRUE(rig.sensor.Streaming());

  Click(w, "btStop");
  EXPECT_FALSE(rig.sensor.Streaming());
  const std::string got = rig.Received();
  ASSERT_EQ(got.rfind("#READ\r\n", 0), 0u);
  // Frames still on their way when "#STOP" went out cause one more "#STOP".
  const int stops = CountOf(got, "#STOP\r\n");
  EXPECT_GE(stops, 1);
  EXPECT_EQ(got, "#READ\r\n" + Times(stops, "#STOP\r\n"));
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Try Connect %1[sec]").arg(stops));
  EXPECT_TRUE(w.Form().LastLine.empty());

  const QStringList lines = MemoLines(w);
  ASSERT_EQ(static_cast<size_t>(lines.size()), angles.size());
  for (size_t i = 0; i < angles.size(); ++i) {
    EXPECT_EQ(lines[static_cast<int>(i)], QStringLiteral("-12.3"));
    EXPECT_DOUBLE_EQ(angles[i], -12.3);
  }
  // Nothing more arrives once stopped.
  const qsizetype shown = lines.size();
  WaitWithMessages(300);
  EXPECT_EQ(MemoLines(w).size(), shown);
}

TEST(ConsoleExchange, CountedReadingSendsOneDataPerPass) {
  sim::SensorConfig config = Steady(45.6);
  config.splitBytes = 2;  // frames arrive in pieces
  SensorRig rig(config);
  TFVANTORIS& w = rig.w();
  std::vector<double> angles;
  w.Form().AngleReceived.Attach([&angles](double v) { angles.push_back(v); });
  ASSERT_TRUE(rig.Connect());
  rig.sensor.ClearReceived();
  w.Memo1->clear();

  Type(w, "eCount", QStringLiteral("3"));
  Type(w, "eInterval", QStringLiteral("200"));
  Click(w, "btDATA");
  EXPECT_EQ(rig.Received(), Times(3, "#DATA\r\n"));
  EXPECT_EQ(Text(w, "lCount"), QStringLiteral("3"));
  EXPECT_EQ(MemoLines(w),
            QStringList({QStringLiteral("45.6"), QStringLiteral("45.6"), QStringLiteral("45.6")}));
  EXPECT_EQ(angles, std::vector<double>({45.6, 45.6, 45.6}));
  EXPECT_TRUE(w.Form().StopRequested);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Try Connect 1[sec]"));
  EXPECT_EQ(w.StatusText(1), QStringLiteral("#DATA\r\n"));

  // A count of 0 sends nothing and still resets the counter.
  rig.sensor.ClearReceived();
  Type(w, "eCount", QStringLiteral("0"));
  w.Form().StopRequested = false;
  Click(w, "btDATA");
  WaitWithMessages(200);
  EXPECT_EQ(rig.Received(), "");
  EXPECT_EQ(Text(w, "lCount"), QStringLiteral("1"));
  EXPECT_TRUE(w.Form().StopRequested);
}

TEST(ConsoleExchange, ValuesWithoutDecimalPointAreShownButNeverAnswerTheRequest) {
  sim::SensorConfig config = Steady(45.0);
  config.noDecimal = true;
  SensorRig rig(config);
  TFVANTORIS& w = rig.w();
  std::vector<double> angles;
  w.Form().AngleReceived.Attach([&angles](double v) { angles.push_back(v); });
  // An error in a handler of a received value is swallowed.
  w.Form().AngleReceived.Attach([](double) { throw std::runtime_error("dial failed"); });
  ASSERT_TRUE(rig.Connect());
  rig.sensor.ClearReceived();
  w.Memo1->clear();

  Type(w, "eCount", QStringLiteral("1"));
  Type(w, "eInterval", QStringLiteral("100"));
  Click(w, "btDATA");
  EXPECT_EQ(rig.Received(), Times(6, "#DATA\r\n"));
  EXPECT_EQ(w.StatusText(0), QStringLiteral("No answer"));
  rig.PumpUntil([&angles] { return angles.size() >= 6; });
  EXPECT_EQ(MemoLines(w), QStringList(6, QStringLiteral("45")));
  EXPECT_EQ(angles, std::vector<double>(6, 45.0));
  EXPECT_FALSE(std::filesystem::exists(rig.dir.File("LogFile.Log")));
}

TEST(ConsoleExchange, IdMeasurementPollsTheChosenAddress) {
  SensorRig rig(Steady(1.5));
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  Type(w, "eInterval", QStringLiteral("200"));

  struct Case {
    const char* id;
    std::string frame;
    const char* status;
    int polls;  // the sensor answers its own ID (1) only
  };
  const Case cases[] = {
      {"1", std::string("\xB1\x05", 2), "B1 05 - HEX", 1},
      {"80", std::string("\x00\x05", 2), "0 05 - HEX", 2},
      {"-1", std::string("\xAF\x05", 2), "AF 05 - HEX", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    rig.sensor.ClearReceived();
    Type(w, "Edit1", QString::fromLatin1(c.id));
    Type(w, "eCount", QStringLiteral("1"));
    Click(w, "btB105");
    EXPECT_EQ(rig.Received(), Times(c.polls, c.frame));
    EXPECT_EQ(w.StatusText(1), QString::fromLatin1(c.status));
    EXPECT_EQ(w.StatusText(0),
              c.polls == 1 ? QStringLiteral("Try Connect 1[sec]") : QStringLiteral("No answer"));
  }
}

TEST(ConsoleExchange, SingleSendsGoOutOnceAsTyped) {
  SensorRig rig;
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());

  struct Case {
    const char* button;
    const char* field;
    const char* text;
    std::string sent;
  };
  const Case cases[] = {
      {"btn25", nullptr, nullptr, "#SAVE\r\n"},
      {"bt360Send2", "ed360Send2", "hello 1", "hello 1\r\n"},
      {"bt360Send3", "ed360Send3", "", "\r\n"},
      {"bt360Send1", "ed360Send1", "#XYZ", "#XYZ\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    rig.sensor.ClearReceived();
    if (c.field) Type(w, c.field, QString::fromLatin1(c.text));
    Click(w, c.button);
    rig.AwaitReceived(c.sent.size());
    EXPECT_EQ(rig.Received(), c.sent);
    EXPECT_EQ(w.StatusText(1), QString::fromStdString(c.sent));
  }

  // A click on the console's bare background sends the first raw line.
  rig.sensor.ClearReceived();
  Type(w, "ed360Send1", QStringLiteral("#INFO"));
  QTest::mouseClick(w.Panel1, Qt::LeftButton, {}, QPoint(400, 260));
  rig.AwaitReceived(7);
  EXPECT_EQ(rig.Received(), "#INFO\r\n");
  EXPECT_TRUE(rig.PumpUntil([&w] { return w.Form().LastLine.rfind("V:", 0) == 0; }));
}

TEST(ConsoleExchange, RangeChangesAreSentAsTypedAndRefreshTheInformation) {
  SensorRig rig;
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());

  rig.sensor.ClearReceived();
  Type(w, "leRangeN", QStringLiteral("900"));
  Click(w, "Button25");
  EXPECT_EQ(rig.Received(), "#CALI14900\r\n#INFO\r\n");
  EXPECT_EQ(Text(w, "lbeNRange"), QStringLiteral("900"));

  // A full turn travels as "0" and comes back as "0", which the console shows as 3600.
  rig.sensor.ClearReceived();
  Type(w, "leRangeP", QStringLiteral("3600"));
  Click(w, "Button26");
  EXPECT_EQ(rig.Received(), "#CALI150\r\n#INFO\r\n");
  EXPECT_EQ(Text(w, "lbePRange"), QStringLiteral("3600"));
  EXPECT_EQ(rig.sensor.Settings().positiveRange, 3600);
}

TEST(ConsoleExchange, IdChangeChecksAsksAndRefreshes) {
  SensorRig rig;
  TFVANTORIS& w = rig.w();
  auto& boxes = *rig.console->boxes;
  ASSERT_TRUE(rig.Connect());

  rig.sensor.ClearReceived();
  Type(w, "eID", QStringLiteral("78"));
  Click(w, "btIDchange");
  EXPECT_EQ(boxes.messages,
            QStringList{QStringLiteral("\"MAX ID = 77!!!. Please Insert again.\"")});
  EXPECT_TRUE(boxes.questions.isEmpty());

  // No lower bound: 0 and -1 reach the question; No sends nothing.
  for (const QString& id : {QStringLiteral("0"), QStringLiteral("-1")}) {
    Type(w, "eID", id);
    Click(w, "btIDchange");
    EXPECT_EQ(boxes.questions.back(), QStringLiteral("Do you want ID Change(%1)?").arg(id));
  }
  EXPECT_EQ(boxes.questions.size(), 2);
  WaitWithMessages(100);
  EXPECT_EQ(rig.Received(), "");

  boxes.answers.push_back(true);
  Type(w, "eID", QStringLiteral("007"));
  Click(w, "btIDchange");
  EXPECT_EQ(boxes.questions.back(), QStringLiteral("Do you want ID Change(007)?"));
  EXPECT_EQ(rig.Received(), "#ID7\r\n#INFO\r\n");
  EXPECT_EQ(Text(w, "lbeID"), QStringLiteral("7"));
  EXPECT_EQ(rig.sensor.Settings().id, 7);
}

TEST(ConsoleExchange, StopDuringACountedReadingEndsItsSending) {
  SensorRig rig(Steady(3.0));
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  rig.sensor.ClearReceived();

  Type(w, "eCount", QStringLiteral("10"));
  Type(w, "eInterval", QStringLiteral("200"));
  ClickLater(w, "btStop", 700);  // runs inside one of the reading's waits
  Click(w, "btDATA");

  const std::string got = rig.Received();
  const size_t stopAt = got.find("#STOP\r\n");
  ASSERT_NE(stopAt, std::string::npos);
  const int sent = CountOf(got, "#DATA\r\n");
  EXPECT_GE(sent, 1);
  EXPECT_LT(sent, 10);
  EXPECT_EQ(got.find("#DATA", stopAt), std::string::npos) << "sent after the stop";
  EXPECT_EQ(Text(w, "lCount"), QString::number(sent));
  EXPECT_TRUE(w.Form().StopRequested);
}

TEST(ConsoleExchange, CloseButtonWhileConnectedClosesThePortAndSavesOnce) {
  SensorRig rig;
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  WriteCounter writes(rig.dir.Path(), "UserSet.dat");
  Type(w, "eInterval", QStringLiteral("333"));
  Click(w, "btClose");
  EXPECT_EQ(w.Form().Connected, 0);
  EXPECT_EQ(w.StatusText(0), QStringLiteral("Close Com"));
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(writes.Count(), 1);
  EXPECT_EQ(ReadFile(rig.dir.File("UserSet.dat")).substr(13, 4),
            "\x03"
            "333");
}

}  // namespace
}  // namespace kelta::test
