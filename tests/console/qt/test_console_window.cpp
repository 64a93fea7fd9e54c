// The main window without a sensor: layout, start and close, the settings file, the exception
// handler, refusals while disconnected, line errors, the help window, the list's limit.

#include "tests/console/qt/ConsoleRig.h"
#include "tests/support/Fifo.h"

#include "base/Errors.h"
#include "console/form/LineErrors.h"
#include "console/qt/ConsoleApplication.h"
#include "console/qt/WaitWithMessages.h"
#include "console/qt/uHelp.h"
#include "serial/portmap/PortMap.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace kelta::test {
namespace {

struct Placement {
  const char* name;
  const char* parent;
  QRect geometry;       // width/height 0: not fixed
  const char* caption;  // nullptr: not checked
  bool shownWithConsole;
};

// Positions of the console panel's controls, as the operator knows the screen.
const Placement kConsolePlacements[] = {
    {"btHelp", "Panel1", {448, 16, 75, 25}, "Help", true},
    {"btClose", "Panel1", {534, 16, 75, 25}, "Close", true},
    // The band left of Help: the health line over the recording's controls.
    {"lHealth", "Panel1", {16, 3, 420, 15}, nullptr, true},
    {"btRecord", "Panel1", {16, 20, 64, 24}, "Record", true},
    {"btFolder", "Panel1", {84, 20, 64, 24}, "Folder…", true},
    {"lRecord", "Panel1", {222, 24, 218, 17}, nullptr, true},
    {"GroupBox1", "Panel1", {16, 48, 593, 195}, "Send Command", true},
    {"btn10", "GroupBox1", {15, 31, 0, 0}, "센서정보", true},
    {"eID", "GroupBox1", {189, 35, 31, 0}, "1", true},
    {"btIDchange", "GroupBox1", {230, 31, 0, 0}, "ID Change", true},
    {"btDATA", "GroupBox1", {15, 85, 63, 25}, "#DATA", true},
    {"btREAD", "GroupBox1", {87, 85, 63, 25}, "#READ", true},
    {"btStop", "GroupBox1", {158, 85, 63, 25}, "#STOP", true},
    {"btn25", "GroupBox1", {231, 85, 63, 25}, "#SAVE", true},
    {"leRangeN", "GroupBox1", {8, 149, 65, 0}, "", true},
    {"Button25", "GroupBox1", {79, 145, 0, 0}, "- 범위", true},
    {"leRangeP", "GroupBox1", {153, 149, 65, 0}, "", true},
    {"Button26", "GroupBox1", {223, 145, 0, 0}, "+ 범위", true},
    {"ed360Send1", "GroupBox1", {311, 105, 202, 0}, "#INFO", true},
    {"ed360Send2", "GroupBox1", {311, 135, 202, 0}, "", true},
    {"ed360Send3", "GroupBox1", {311, 166, 202, 0}, "", true},
    {"bt360Send1", "GroupBox1", {519, 101, 0, 0}, "Send", true},
    {"bt360Send2", "GroupBox1", {519, 132, 0, 0}, "Send", true},
    {"bt360Send3", "GroupBox1", {519, 162, 0, 0}, "Send", true},
    {"GroupBox2", "GroupBox1", {304, 16, 281, 75}, "ID 지정 측정", true},
    {"Edit1", "GroupBox2", {0, 0, 0, 0}, "0", true},
    {"lCount", "GroupBox2", {0, 0, 0, 0}, "1", true},
    {"eCount", "GroupBox2", {0, 0, 0, 0}, nullptr, true},
    {"eInterval", "GroupBox2", {0, 0, 0, 0}, nullptr, true},
    {"btB105", "GroupBox2", {0, 0, 67, 26}, "ID 측정", true},
    {"btn28", "GroupBox1", {0, 0, 0, 0}, "센서초기화", false},
    {"lbeVersion", "Panel1", {24, 292, 65, 0}, "", true},
    {"lbeID", "Panel1", {96, 292, 65, 0}, "", true},
    {"lbeNRange", "Panel1", {24, 348, 65, 0}, "", true},
    {"lbePRange", "Panel1", {96, 348, 65, 0}, "", true},
    {"lbeMode", "Panel1", {24, 388, 65, 0}, "", false},
    {"lbeOffset", "Panel1", {96, 388, 65, 0}, "", false},
    {"Label8", "Panel1", {24, 404, 0, 0}, "Recive Value", true},
    {"btClear", "Panel1", {112, 400, 73, 25}, "Clear", true},
    {"Memo1", "Panel1", {16, 424, 169, 249}, "", true},
    {"Dst", "Panel1", {200, 272, 404, 404}, nullptr, true},
    {"ssaValue", "Dst", {144, 221, 113, 36}, nullptr, true},
};

QString CaptionOf(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText();
  return {};
}

class ConsoleWindow : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(ConsoleWindow, StartsWithTheConnectPanelOnlyAndEveryControlInPlace) {
  // No settings file yet: the defaults show, with the interval of the file (200), not the
  // window's own 500.
  Console c(dir.Path());
  TFVANTORIS& w = *c;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("KELTA-RQ-7 Display Software Rev4.0용"));
  EXPECT_EQ(w.size(), QSize(618, 721));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_FALSE(w.windowIcon().isNull());

  EXPECT_TRUE(w.Panel2->isVisible());
  EXPECT_FALSE(w.Panel1->isVisible());
  EXPECT_EQ(w.Panel2->geometry(), QRect(192, 256, 257, 81));
  EXPECT_EQ(w.Panel1->geometry(), QRect(0, 0, 617, 705));
  EXPECT_EQ(w.Button3->geometry(), QRect(131, 16, 102, 49));
  EXPECT_EQ(w.Button3->text(), QStringLiteral("Connect"));
  EXPECT_EQ(w.ePortNo->geometry().topLeft(), QPoint(50, 44));
  EXPECT_EQ(w.ePortNo->width(), 55);

  EXPECT_EQ(Text(w, "ePortNo"), QStringLiteral("COM1"));
  EXPECT_EQ(Text(w, "eCount"), QStringLiteral("1"));
  EXPECT_EQ(Text(w, "eInterval"), QStringLiteral("200"));
  EXPECT_EQ(Text(w, "eID"), QStringLiteral("1"));

  QStatusBar* bar = w.StatusBar1;
  EXPECT_EQ(bar->objectName(), QStringLiteral("StatusBar1"));
  EXPECT_EQ(bar->geometry(), QRect(0, 702, 618, 19));
  EXPECT_EQ(w.StatusPanels[0]->width(), 300);
  EXPECT_EQ(w.StatusPanels[1]->width(), 360);
  EXPECT_TRUE(w.StatusPanels[0]->isVisible());

  // The hidden holders sit outside the client area.
  EXPECT_EQ(w.ivBGR->geometry(), QRect(720, 112, 513, 521));
  EXPECT_EQ(w.Src->geometry(), QRect(792, 384, 313, 305));
  EXPECT_FALSE(w.GroupBox4->isVisibleTo(&w));
  EXPECT_FALSE(w.rect().intersects(w.GroupBox4->geometry()));
  EXPECT_EQ(w.lbeCal[10]->EditLabel()->text(), QStringLiteral("보상계수A"));

  for (const Placement& p : kConsolePlacements) {
    SCOPED_TRACE(p.name);
    auto* widget = w.findChild<QWidget*>(QString::fromUtf8(p.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(p.parent));
    if (p.geometry.x() || p.geometry.y()) {
      EXPECT_EQ(widget->pos(), p.geometry.topLeft());
    }
    if (p.geometry.width()) {
      EXPECT_EQ(widget->width(), p.geometry.width());
    }
    if (p.geometry.height()) {
      EXPECT_EQ(widget->height(), p.geometry.height());
    }
    if (p.caption) {
      EXPECT_EQ(CaptionOf(widget), QString::fromUtf8(p.caption));
    }
    EXPECT_EQ(widget->isVisibleTo(w.Panel1), p.shownWithConsole);
    // Every control fits inside its parent.
    if (p.shownWithConsole) {
      EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()));
    }
  }
  EXPECT_EQ(w.leRangeN->EditLabel()->text(), QStringLiteral("-  범위(*10) "));
  EXPECT_EQ(w.leRangeP->EditLabel()->text(), QStringLiteral("+ 범위(*10) "));
  EXPECT_EQ(w.lbeMode->EditLabel()->text(), QStringLiteral("방향 모드"));
  EXPECT_TRUE(w.eID->font().bold());
  EXPECT_EQ(w.Memo1->font().pixelSize(), 16);

  // Inside GroupBox2 every label stands before its field on the same row.
  const auto row = [&w](const char* label, const char* field) {
    auto* l = w.findChild<QWidget*>(QString::fromLatin1(label));
    auto* f = w.findChild<QWidget*>(QString::fromLatin1(field));
    EXPECT_LT(l->geometry().right(), f->x()) << label;
    EXPECT_TRUE(l->geometry().center().y() >= f->y() &&
                l->geometry().center().y() <= f->geometry().bottom())
        << label;
  };
  row("Label5", "Edit1");
  row("Label3", "lCount");
  row("Label6", "eCount");
  row("Label4", "eInterval");
  row("eInterval", "Label7");
}

TEST_F(ConsoleWindow, FirstStartCreatesTheSettingsFileWithItsDefaults) {
  { Console c(dir.Path()); }
  const std::string bytes = ReadFile(dir.File("UserSet.dat"));
  ASSERT_EQ(bytes.size(), 61u);
  EXPECT_EQ(bytes.substr(0, 28), std::string("\x04"
                                             "COM1\0\0"
                                             "\x01"
                                             "1\0\0\0\0"
                                             "\x03"
                                             "200\0\0\0\0\0\0\0"
                                             "\x01"
                                             "1\0\0",
                                             28));
}

TEST_F(ConsoleWindow, ClosingSavesTheFieldsCutToTheirLengths) {
  WriteCounter writes(dir.Path(), "UserSet.dat");
  {
    Console c(dir.Path());
    const int created = writes.Count();
    Type(*c, "ePortNo", QStringLiteral("COM1234567"));
    Type(*c, "eCount", QStringLiteral("1234567"));
    Type(*c, "eInterval", QStringLiteral("12345678901"));
    Type(*c, "eID", QStringLiteral("12345"));
    c->close();  // the title bar's close
    EXPECT_EQ(writes.Count() - created, 1);
    EXPECT_FALSE(c->isVisible());
  }
  Console again(dir.Path());
  EXPECT_EQ(Text(*again, "ePortNo"), QStringLiteral("COM123"));
  EXPECT_EQ(Text(*again, "eCount"), QStringLiteral("12345"));
  EXPECT_EQ(Text(*again, "eInterval"), QStringLiteral("1234567890"));
  EXPECT_EQ(Text(*again, "eID"), QStringLiteral("123"));
}

TEST_F(ConsoleWindow, CloseButtonWhileDisconnectedWritesTheFileTwiceAlike) {
  Console c(dir.Path());
  WriteCounter writes(dir.Path(), "UserSet.dat");
  Type(*c, "eCount", QStringLiteral("7"));
  c->Panel1->show();  // the button lives on the console panel
  Click(*c, "btClose");
  EXPECT_EQ(writes.Count(), 2);
  EXPECT_FALSE(c->isVisible());
  const std::string bytes = ReadFile(dir.File("UserSet.dat"));
  ASSERT_EQ(bytes.size(), 61u);
  EXPECT_EQ(bytes.substr(7, 2), std::string("\x01"
                                            "7"));
}

TEST_F(ConsoleWindow, ShortSettingsFileIsStampedAndLeavesTheStartTexts) {
  WriteFile(dir.File("UserSet.dat"), std::string(60, '\0'));
  Console c(dir.Path());
  EXPECT_EQ(Text(*c, "ePortNo"), QStringLiteral("COM1"));
  EXPECT_EQ(Text(*c, "eCount"), QStringLiteral("1"));
  EXPECT_EQ(Text(*c, "eInterval"), QStringLiteral("500"));
  EXPECT_EQ(Text(*c, "eID"), QStringLiteral("1"));
  EXPECT_EQ(c->ePortNo->count(), 0);
  const std::vector<std::string> log = ReadLines(dir.File("LogFile.Log"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(QString::fromStdString(log[0]), c->StatusText(0));
  EXPECT_TRUE(c->StatusText(0).contains(QStringLiteral(" - ")));
  EXPECT_TRUE(c.boxes->messages.isEmpty());
}

TEST_F(ConsoleWindow, PortTextWithoutNumberRaisesAStampedConversionError) {
  Console c(dir.Path());
  for (const QString& port : {QStringLiteral("COM"), QStringLiteral("COMx")}) {
    Type(*c, "ePortNo", port);
    Click(*c, "Button3");
    const QString message = QStringLiteral("'%1' is not a valid integer value").arg(port.mid(3));
    EXPECT_TRUE(IsStampedLine(c->StatusText(0), message)) << c->StatusText(0).toStdString();
    EXPECT_EQ(c->Form().Connected, 0);
  }
  const std::vector<std::string> log = ReadLines(dir.File("LogFile.Log"));
  ASSERT_EQ(log.size(), 2u);  // oldest first
  EXPECT_TRUE(IsStampedLine(QString::fromStdString(log[0]),
                            QStringLiteral("'' is not a valid integer value")));
  EXPECT_TRUE(IsStampedLine(QString::fromStdString(log[1]),
                            QStringLiteral("'x' is not a valid integer value")));
  EXPECT_TRUE(c.boxes->messages.isEmpty());
  EXPECT_TRUE(c->Panel2->isVisible());
}

TEST_F(ConsoleWindow, EverySendingActionRefusesWhileDisconnected) {
  Console c(dir.Path());
  c->Panel1->show();
  const char* const buttons[] = {"btREAD", "btStop",     "btDATA",     "btB105",
                                 "btn25",  "bt360Send1", "bt360Send2", "bt360Send3",
                                 "btn10",  "Button25",   "Button26"};
  for (const char* b : buttons) {
    SCOPED_TRACE(b);
    c.boxes->messages.clear();
    c->Form().StopRequested = false;
    Click(*c, b);
    EXPECT_EQ(c.boxes->messages, QStringList{QStringLiteral("Open Com port.")});
    // Only the stop action leaves the flag set when it refuses.
    EXPECT_EQ(c->Form().StopRequested, std::string(b) == "btStop");
  }
  c.boxes->messages.clear();
  Click(*c, "btIDchange");
  EXPECT_EQ(c.boxes->messages, QStringList{QStringLiteral("Open Comport")});
  EXPECT_TRUE(c.boxes->questions.isEmpty());
  EXPECT_EQ(c->StatusText(1), QString());

  // The counted actions convert their fields before the connection check.
  c.boxes->messages.clear();
  Type(*c, "eCount", QStringLiteral("abc"));
  Click(*c, "btDATA");
  EXPECT_TRUE(c.boxes->messages.isEmpty());
  EXPECT_TRUE(
      IsStampedLine(c->StatusText(0), QStringLiteral("'abc' is not a valid integer value")));
  Type(*c, "eID", QStringLiteral("7x"));
  Click(*c, "btIDchange");
  EXPECT_TRUE(c.boxes->messages.isEmpty());
  EXPECT_TRUE(IsStampedLine(c->StatusText(0), QStringLiteral("'7x' is not a valid integer value")));
}

TEST_F(ConsoleWindow, ClickOnTheBareConsoleBackgroundSendsTheFirstRawLine) {
  Console c(dir.Path());
  c->Panel1->show();
  // Not connected, so the send is refused: the refusal shows the click reached the handler.
  QTest::mouseClick(c->Panel1, Qt::LeftButton, {}, QPoint(400, 290 - 20));
  EXPECT_EQ(c.boxes->messages, QStringList{QStringLiteral("Open Com port.")});
  c.boxes->messages.clear();
  // A click on a label or inside a group is not a click on the panel.
  QTest::mouseClick(c->Label8, Qt::LeftButton, {}, QPoint(3, 3));
  QTest::mouseClick(c->GroupBox1, Qt::LeftButton, {}, QPoint(200, 130));
  QTest::mouseClick(c->Dst, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_TRUE(c.boxes->messages.isEmpty());
}

TEST_F(ConsoleWindow, DoubleClickOnTheBackgroundIsOneClick) {
  Console c(dir.Path());
  c->Panel1->show();
  c->Panel2->hide();  // as after Connect
  ASSERT_TRUE(QTest::qWaitForWindowExposed(c.window.get()));
  // Through the window system: press, release, press (which it turns into a double click
  // too), release. Not connected, so each send shows the refusal.
  QTest::mouseDClick(c->windowHandle(), Qt::LeftButton, {}, QPoint(400, 270));
  EXPECT_EQ(c.boxes->messages, QStringList{QStringLiteral("Open Com port.")});
  // The next single click is a click again.
  QTest::mouseClick(c->windowHandle(), Qt::LeftButton, {}, QPoint(400, 270));
  EXPECT_EQ(c.boxes->messages.size(), 2);
}

TEST_F(ConsoleWindow, LineErrorsShowTheLastSetFlagInTableOrder) {
  Console c(dir.Path());
  const auto& table = LineErrorTable();
  ASSERT_EQ(table.size(), 11u);
  uint32_t all = 0;
  for (const LineErrorText& e : table) {
    c->Form().VaComm1Error(e.bit);
    EXPECT_EQ(c->StatusText(0), QString::fromLatin1(e.text));
    all |= e.bit;
  }
  c->Form().VaComm1Error(0x0010 | 0x0100);
  EXPECT_EQ(c->StatusText(0), QStringLiteral("Transmit buffer overflow."));
  // 0x0004 is tested after 0x0001 and 0x0002, so it wins over both.
  c->Form().VaComm1Error(0x0001 | 0x0002 | 0x0004);
  EXPECT_EQ(c->StatusText(0), QStringLiteral("The hardware detected a parity error."));
  c->Form().VaComm1Error(0x0400 | 0x0010);
  EXPECT_EQ(c->StatusText(0),
            QStringLiteral("An I/O error occurred during communications with the device."));
  // A flag the table does not know leaves the panel as it was.
  c->Form().VaComm1Error(0x0020);
  EXPECT_EQ(c->StatusText(0),
            QStringLiteral("An I/O error occurred during communications with the device."));
  EXPECT_EQ(all, 0x9F1Fu);
}

TEST_F(ConsoleWindow, HelpOpensANewEditableWindowPerClick) {
  WriteFile(dir.File("help.txt"), "first line\r\nsecond line\nthird\rfourth");
  Console c(dir.Path());
  c->Panel1->show();
  Click(*c, "btHelp");
  Click(*c, "btHelp");
  Click(*c, "btHelp");
  const QList<TfHelp*> windows = c->findChildren<TfHelp*>();
  ASSERT_EQ(windows.size(), 3);
  for (TfHelp* h : windows) {
    EXPECT_TRUE(h->isVisible());
    EXPECT_TRUE(h->isWindow());
    EXPECT_FALSE(h->isModal());
    EXPECT_EQ(h->windowTitle(), QStringLiteral("Help"));
    EXPECT_EQ(h->size(), QSize(710, 521));
    EXPECT_EQ(h->mHelp->geometry(), QRect(0, 0, 713, 521));
    EXPECT_FALSE(h->mHelp->isReadOnly());
    EXPECT_EQ(h->mHelp->toPlainText(), QStringLiteral("first line\nsecond line\nthird\nfourth"));
  }
  EXPECT_EQ(c->fHelp, windows.back());
  // Closing one leaves the others.
  windows.front()->close();
  EXPECT_TRUE(windows.back()->isVisible());
  EXPECT_FALSE(std::filesystem::exists(dir.File("LogFile.Log")));
}

// Help pressed once: the window opens empty, and one stamped line naming "help.txt" is in
// the log and in status panel 0.
void ExpectEmptyHelpAndOneLoggedLine(const TempDir& dir) {
  Console c(dir.Path());
  c->Panel1->show();
  Click(*c, "btHelp");
  ASSERT_NE(c->fHelp, nullptr);
  EXPECT_TRUE(c->fHelp->isVisible());
  EXPECT_TRUE(c->fHelp->mHelp->toPlainText().isEmpty());
  const std::vector<std::string> log = ReadLines(dir.File("LogFile.Log"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(dir.File("help.txt")), std::string::npos);
  EXPECT_EQ(QString::fromStdString(log[0]), c->StatusText(0));
}

TEST_F(ConsoleWindow, HelpWithoutItsFileOpensEmptyAndLogsOneLine) {
  ExpectEmptyHelpAndOneLoggedLine(dir);
}

TEST_F(ConsoleWindow, HelpThatCannotBeReadOpensEmptyAndLogsOneLine) {
  // A folder in the file's place opens but cannot be read.
  std::filesystem::create_directory(dir.File("help.txt"));
  ExpectEmptyHelpAndOneLoggedLine(dir);
}

TEST_F(ConsoleWindow, HelpStillOpensWhenNeitherItsFileNorTheLogCanBeWritten) {
  Console c(dir.Path());
  std::filesystem::create_directory(dir.File("LogFile.Log"));
  c->Panel1->show();
  Click(*c, "btHelp");
  ASSERT_NE(c->fHelp, nullptr);
  EXPECT_TRUE(c->fHelp->isVisible());
  EXPECT_TRUE(c->fHelp->mHelp->toPlainText().isEmpty());
  EXPECT_TRUE(c->StatusText(0).contains(QStringLiteral(" - "))) << c->StatusText(0).toStdString();
}

TEST_F(ConsoleWindow, HelpRefusesADeviceInItsPlace) {
  // Read without end before: /dev/zero filled the memory until the allocation failed.
  std::filesystem::create_symlink("/dev/zero", dir.File("help.txt"));
  ExpectEmptyHelpAndOneLoggedLine(dir);
  EXPECT_NE(ReadFile(dir.File("LogFile.Log")).find("Not a regular file (character device)"),
            std::string::npos);
}

TEST(HelpText, AFifoInItsPlaceIsRefusedWithoutBlocking) {
  TempDir dir;
  MakeFifo(dir.File("help.txt"));
  bool blocked = false;
  const std::string message = CallBesideFifo(
      dir.File("help.txt"),
      [&]() -> std::string {
        try {
          ReadTextFileLines(dir.File("help.txt"));
        } catch (const std::exception& e) {
          return e.what();
        }
        return "no error";
      },
      blocked);
  EXPECT_FALSE(blocked);
  EXPECT_EQ(message,
            "Cannot open file \"" + dir.File("help.txt") + "\". Not a regular file (FIFO)");
}

TEST(HelpText, ALongerFileIsCutAtItsLastWholeLineAndSaysSo) {
  TempDir dir;
  const std::string path = dir.File("help.txt");
  const QString mark = QStringLiteral("[help.txt is longer: only its first %1 bytes are shown]");
  WriteFile(path, "one\r\ntwo\nthree");  // 14 bytes
  EXPECT_EQ(ReadTextFileLines(path, 14), QStringLiteral("one\ntwo\nthree"));
  EXPECT_EQ(ReadTextFileLines(path, 13), QStringLiteral("one\ntwo\n") + mark.arg(9));
  EXPECT_EQ(ReadTextFileLines(path, 5), QStringLiteral("one\n") + mark.arg(5));
  // No line break within the limit: cut at the limit.
  WriteFile(path, "abcdefgh\n");
  EXPECT_EQ(ReadTextFileLines(path, 4), QStringLiteral("abcd\n") + mark.arg(4));
}

TEST_F(ConsoleWindow, AHugeHelpFileIsShownCut) {
  // Whole lines up to a little past the limit, then a sparse tail that costs nothing on disk;
  // before, every byte was read into the window.
  const std::string path = dir.File("help.txt");
  std::string lines;
  for (size_t i = 0; lines.size() < kHelpReadLimit + 4096; ++i) {
    const std::string n = std::to_string(i);
    const std::string line = "help line " + std::string(8 - n.size(), '0') + n + " of the text.\n";
    lines += line;  // 32 bytes: the limit falls on a line's end
  }
  WriteFile(path, lines);
  std::filesystem::resize_file(path, std::uintmax_t{64} << 20);
  Console c(dir.Path());
  c->Panel1->show();
  Click(*c, "btHelp");
  ASSERT_NE(c->fHelp, nullptr);
  const QString shown = c->fHelp->mHelp->toPlainText();
  const QString mark =
      QStringLiteral("[help.txt is longer: only its first %1 bytes are shown]").arg(kHelpReadLimit);
  EXPECT_EQ(shown,
            QString::fromLatin1(lines.data(), static_cast<qsizetype>(kHelpReadLimit)) + mark);
  EXPECT_FALSE(std::filesystem::exists(dir.File("LogFile.Log")));
}

// The settings file cannot be written at close: a folder has taken its place.
void BreakTheSettingsFile(const TempDir& dir) {
  std::filesystem::remove(dir.File("UserSet.dat"));
  std::filesystem::create_directory(dir.File("UserSet.dat"));
}

TEST_F(ConsoleWindow, AFailedSaveAtCloseIsShownAndLogged) {
  const QString failure =
      QStringLiteral(
          "The settings were not saved.\nCannot create \"%1\" (not a regular file: folder)")
          .arg(QString::fromStdString(dir.File("UserSet.dat")));
  {
    Console c(dir.Path());
    BreakTheSettingsFile(dir);
    c->close();  // the title bar's close
    EXPECT_FALSE(c->isVisible());
    EXPECT_EQ(c.boxes->messages, QStringList{failure});
    const std::vector<std::string> log = ReadLines(dir.File("LogFile.Log"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(
        IsStampedLine(QString::fromStdString(log[0]), failure.section(QLatin1Char('\n'), 1)));
  }
  // The Close button while disconnected: its own save fails too, and the window still goes
  // with one box, once.
  std::filesystem::remove(dir.File("LogFile.Log"));
  std::filesystem::remove(dir.File("UserSet.dat"));
  Console c(dir.Path());
  BreakTheSettingsFile(dir);
  // Nor can the log be written: the box is all there is.
  std::filesystem::create_directory(dir.File("LogFile.Log"));
  c->Panel1->show();
  Click(*c, "btClose");
  EXPECT_FALSE(c->isVisible());
  EXPECT_EQ(c.boxes->messages, QStringList{failure});
  c->close();  // a second close is no second save
  EXPECT_EQ(c.boxes->messages.size(), 1);
}

TEST(ExecutableFolder, WithoutProcItIsTheApplicationFolder) {
  EnsureApp();
  const std::string fromProc = ExecutableDir();
  EXPECT_EQ(ConsoleApplication::ExecutableFolder([] { return std::string("/opt/kelta/"); }),
            "/opt/kelta/");
  const std::string fallback = ConsoleApplication::ExecutableFolder([]() -> std::string {
    throw std::system_error(ENOENT, std::generic_category(), "Cannot read /proc/self/exe");
  });
  // The same folder, found from the program's own path.
  EXPECT_EQ(fallback, fromProc);
  EXPECT_EQ(fallback.back(), '/');
}

TEST_F(ConsoleWindow, AFailingLogStillShowsTheLineAndNothingEscapes) {
  Console c(dir.Path());
  // A folder where the log file should be: the append fails.
  std::filesystem::create_directory(dir.File("LogFile.Log"));
  Type(*c, "ePortNo", QStringLiteral("COM"));
  Click(*c, "Button3");
  EXPECT_TRUE(IsStampedLine(c->StatusText(0), QStringLiteral("'' is not a valid integer value")));
}

TEST_F(ConsoleWindow, ReceivedListKeepsTheNewestLinesUpToItsLimit) {
  Console c(dir.Path());
  const int limit = ConsoleForm::kMemoLineLimit;
  for (int i = 1; i <= limit + 5; ++i) c->Form().DeliverLine(std::to_string(i) + ".0");
  // The first line is shown at once, the rest in one batch at the frame's end.
  WaitWithMessages(2 * FramePacer::kFrame.count());
  const QStringList lines = MemoLines(*c);
  ASSERT_EQ(lines.size(), limit);
  EXPECT_EQ(lines.front(), QStringLiteral("6.0"));
  EXPECT_EQ(lines.back(), QString::number(limit + 5) + QStringLiteral(".0"));
  EXPECT_EQ(c->Form().LastLine, std::to_string(limit + 5) + ".0");

  // An empty line is a line; bytes above 127 show rather than vanish.
  c->Form().DeliverLine("");
  c->Form().DeliverLine(
      "\xB1"
      "x");
  WaitWithMessages(2 * FramePacer::kFrame.count());
  EXPECT_EQ(MemoLines(*c).mid(limit - 2), (QStringList{QString(), QStringLiteral("\u00B1x")}));

  c->Panel1->show();
  Type(*c, "eCount", QStringLiteral("1"));  // not touched by Clear
  Click(*c, "btClear");
  EXPECT_TRUE(MemoLines(*c).isEmpty());
  EXPECT_EQ(Text(*c, "lCount"), QStringLiteral("1"));
}

TEST_F(ConsoleWindow, ValuesAfterALongLineShowFromTheirStart) {
  // The information reply arrives while the console panel is still hidden.
  Console c(dir.Path());
  c->Form().DeliverLine(
      "V:1.00,I:B1,DM:2,C:1,Z:0,N:1800,P:1800,G:1000,O:0,0:100,1:101,2:102,3:103,4:104");
  c->Panel1->show();
  for (int i = 0; i < 20; ++i) c->Form().DeliverLine("-102.7");
  WaitWithMessages(2 * FramePacer::kFrame.count());  // the frame that shows them
  EXPECT_EQ(c->Memo1->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(c->Memo1->verticalScrollBar()->value(), c->Memo1->verticalScrollBar()->maximum());
}

TEST_F(ConsoleWindow, AnErrorEscapingAnyEventGoesToTheExceptionHandler) {
  Console c(dir.Path());
  auto* app = static_cast<ConsoleApplication*>(QCoreApplication::instance());
  TFVANTORIS* w = c.window.get();
  app->SetExceptionHook(
      [w](const std::exception& e) { w->Form().Guarded([w, &e] { w->Form().AppException(e); }); });

  struct Thrower : QObject {
    bool event(QEvent* e) override {
      if (e->type() == QEvent::User) throw std::runtime_error("paint failed");
      throw EAbort();
    }
  } thrower;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&thrower, &event));
  // The silent abort is not reported.
  QEvent other(static_cast<QEvent::Type>(QEvent::User + 1));
  EXPECT_FALSE(QCoreApplication::sendEvent(&thrower, &other));
  app->SetExceptionHook(nullptr);
  EXPECT_TRUE(IsStampedLine(w->StatusText(0), QStringLiteral("paint failed")));
  EXPECT_EQ(ReadLines(dir.File("LogFile.Log")).size(), 1u);
}

TEST(WaitWithMessages, RunsEventsThatArriveAndLastsAtLeastItsTime) {
  EnsureApp();
  int ran = 0;
  QTimer::singleShot(20, [&ran] { ++ran; });
  QTimer::singleShot(40, [&ran] {
    // A nested wait, as a click inside a waiting handler runs one.
    WaitWithMessages(30);
    ++ran;
  });
  QElapsedTimer t;
  t.start();
  WaitWithMessages(100);
  EXPECT_GE(t.elapsed(), 100);
  EXPECT_EQ(ran, 2);

  // A cancelled wait ends after the round of events that cancelled it.
  bool cancel = false;
  QTimer::singleShot(20, [&cancel] { cancel = true; });
  EXPECT_FALSE(WaitWithMessages(600000, [&cancel] { return cancel; }));
  EXPECT_TRUE(WaitWithMessages(1, [] { return false; }));

  // A negative wait only runs what is pending.
  bool pending = false;
  QTimer::singleShot(0, [&pending] { pending = true; });
  WaitWithMessages(-1);
  EXPECT_TRUE(pending);
}

}  // namespace
}  // namespace kelta::test
