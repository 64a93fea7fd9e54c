// The native Windows window (under Wine in the Windows build): built from the layout table,
// the form's window interface on its controls, the status bar, the wait and the timers, the
// click path from a button to the form, closing, and the help file.

#include "console/form/FormLayout.h"
#include "console/win32/HelpWindow.h"
#include "console/win32/MainWindow.h"
#include "console/win32/PortDescription.h"
#include "console/win32/Utf16.h"
#include "tests/support/TempDir.h"

#include <commctrl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelta::win32 {
namespace {

using test::TempDir;

std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(control, text.data(), int(text.size()))));
  return text;
}

// A control's rectangle in its parent's client area.
RECT PlaceOf(HWND control) {
  RECT r;
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void Click(HWND button) {
  ::SendMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

class Win32Window : public ::testing::Test {
 protected:
  TempDir dir;
  MainWindow window{::GetModuleHandleW(nullptr), dir.Path()};
};

TEST_F(Win32Window, EveryRowOfTheTableIsAControlAtItsPlaceWithItsCaption) {
  EXPECT_EQ(TextOf(window.Handle()), Widen(std::string(kFormTitle)));
  RECT client;
  ::GetClientRect(window.Handle(), &client);
  EXPECT_EQ(client.right, kFormWidth);
  EXPECT_EQ(client.bottom, kFormHeight);
  for (const ControlLayout& row : FormLayout()) {
    // The Qt window's picture holders and its readout widget: one dial view here.
    if (row.name == "Src" || row.name == "ivBGR" || row.name == "ssaValue") continue;
    SCOPED_TRACE(std::string(row.name));
    HWND control = window.Control(row.name);
    ASSERT_NE(control, nullptr);
    if (row.kind == ControlKind::StatusBar) continue;  // the system places it
    EXPECT_EQ(::GetParent(control),
              row.parent.empty() ? window.Handle() : window.Control(row.parent));
    const RECT r = PlaceOf(control);
    EXPECT_EQ(r.left, row.left);
    EXPECT_EQ(r.top, row.top);
    // Labels grow to their caption in this system's font; the combo box's list hangs below.
    if (row.kind == ControlKind::Label) {
      EXPECT_GE(r.right - r.left, row.width);
    } else {
      EXPECT_EQ(r.right - r.left, row.width);
    }
    if (row.kind != ControlKind::Combo) {
      EXPECT_EQ(r.bottom - r.top, row.height);
    }
    EXPECT_EQ((::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) == 0, row.hidden);
    const bool hasCaption = row.kind == ControlKind::Button ||
                            row.kind == ControlKind::ToggleButton ||
                            row.kind == ControlKind::Label || row.kind == ControlKind::Edit;
    if (hasCaption && row.name != "eInterval" && row.name != "lRecord") {
      EXPECT_EQ(TextOf(control), Widen(std::string(row.caption)));
    }
  }
  // Hangul captions arrive as they are written.
  EXPECT_EQ(TextOf(window.Control("btn10")), L"\uC13C\uC11C\uC815\uBCF4");
}

TEST_F(Win32Window, TheFormStartedBehindItAndTheStatusBarHasItsTwoPanels) {
  // The settings' defaults (no settings file yet): the interval of the file, not the table's.
  EXPECT_EQ(window.Text(FormControl::eInterval), "200");
  EXPECT_EQ(window.Text(FormControl::ePortNo), "COM1");
  HWND bar = window.Control("StatusBar1");
  int edges[4] = {};
  ASSERT_EQ(::SendMessageW(bar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 2);
  EXPECT_EQ(edges[0], 300);
  EXPECT_EQ(edges[1], 660);
  window.SetStatus(1, "연결 COM3");
  window.SetStatus(0, "first");
  EXPECT_EQ(window.StatusText(1), "연결 COM3");
  EXPECT_EQ(window.StatusText(0), "first");
}

TEST_F(Win32Window, TextsRoundTripInUtf8AndTheListKeepsItsNewestLines) {
  window.SetText(FormControl::lbeID, "센서 7");
  EXPECT_EQ(window.Text(FormControl::lbeID), "센서 7");
  window.SetText(FormControl::Memo1, "a\nb");
  EXPECT_EQ(TextOf(window.Control("Memo1")), L"a\r\nb");
  EXPECT_EQ(window.Text(FormControl::Memo1), "a\nb");
  window.SetText(FormControl::Memo1, "");
  const int extra = 3;
  for (int i = 0; i < ConsoleForm::kMemoLineLimit + extra; ++i)
    window.AddLine(FormControl::Memo1, "D " + std::to_string(i));
  const std::string all = window.Text(FormControl::Memo1);
  EXPECT_EQ(static_cast<int>(std::count(all.begin(), all.end(), '\n')) + 1,
            ConsoleForm::kMemoLineLimit);
  EXPECT_EQ(all.substr(0, all.find('\n')), "D " + std::to_string(extra));
  EXPECT_EQ(all.substr(all.rfind('\n') + 1),
            "D " + std::to_string(ConsoleForm::kMemoLineLimit + extra - 1));

  // A batch goes in as its lines one by one would, within the same limit.
  const std::vector<std::string> batch = {"B 0", "B 1", "", "B 3", "B 4"};
  window.AddLines(FormControl::Memo1, batch);
  const std::string after = window.Text(FormControl::Memo1);
  EXPECT_EQ(static_cast<int>(std::count(after.begin(), after.end(), '\n')) + 1,
            ConsoleForm::kMemoLineLimit);
  EXPECT_EQ(after.substr(0, after.find('\n')), "D " + std::to_string(extra + batch.size()));
  EXPECT_TRUE(after.ends_with("\nB 0\nB 1\n\nB 3\nB 4")) << after.substr(after.size() - 40);
}

TEST_F(Win32Window, TheComboKeepsItsTypedTextAndAPanelShownComesToTheTop) {
  window.SetText(FormControl::ePortNo, "COM21");
  window.SetItems(FormControl::ePortNo, {"COM1", "COM3"}, {"", "USB adapter"});
  EXPECT_EQ(window.Text(FormControl::ePortNo), "COM21");
  EXPECT_EQ(::SendMessageW(window.Control("ePortNo"), CB_GETCOUNT, 0, 0), 2);

  window.SetVisible(FormControl::Panel1, true);
  EXPECT_TRUE(::IsWindowVisible(window.Control("Panel1")) == FALSE);  // the window is not shown
  EXPECT_NE(::GetWindowLongW(window.Control("Panel1"), GWL_STYLE) & WS_VISIBLE, 0);
  EXPECT_EQ(::GetWindow(window.Handle(), GW_CHILD), window.Control("Panel1"));
  window.SetVisible(FormControl::Panel2, true);
  EXPECT_EQ(::GetWindow(window.Handle(), GW_CHILD), window.Control("Panel2"));
  // A labeled edit's label goes with it.
  window.SetVisible(FormControl::lbeMode, true);
  EXPECT_NE(::GetWindowLongW(window.Control("lbeMode.EditLabel"), GWL_STYLE) & WS_VISIBLE, 0);
}

TEST_F(Win32Window, TheWaitRunsTimersAndEndsWhenCancelled) {
  int ticks = 0;
  int id = 0;
  id = window.StartTimer(10, [&] {
    if (++ticks == 3) window.StopTimer(id);  // stopped from inside its own tick
  });
  EXPECT_TRUE(window.WaitWithMessages(300, [] { return false; }));
  EXPECT_EQ(ticks, 3);
  int other = 0;
  const int second = window.StartTimer(10, [&] { ++other; });
  EXPECT_FALSE(window.WaitWithMessages(60000, [&] { return other > 0; }));
  window.StopTimer(second);
  window.StopTimer(second);  // again: nothing
  EXPECT_EQ(other, 1);
  EXPECT_FALSE(window.WaitWithMessages(60000, [] { return true; }));
}

TEST_F(Win32Window, AButtonRunsItsHandlerAndClosingSavesTheSettings) {
  window.SetText(FormControl::Memo1, "old");
  window.SetText(FormControl::lCount, "7");
  Click(window.Control("btClear"));
  EXPECT_EQ(window.Text(FormControl::Memo1), "");
  EXPECT_EQ(window.Text(FormControl::lCount), "1");
  // Connect with no such port: refused with a box would block; so only closing here.
  window.SetText(FormControl::eInterval, "345");
  ::SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
  std::ifstream saved(dir.File("UserSet.dat"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(saved)), {});
  EXPECT_NE(bytes.find("345"), std::string::npos);
  // The quit that closing posted ends no other test's loop.
  MSG message;
  EXPECT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Win32Window, AClickOnTheConsolesBareBackgroundSendsTheFirstLineAndABoxAsks) {
  // Not connected: the first raw line's handler refuses with a box, modal, its OK clicked by a
  // timer that runs inside the box's loop.
  std::wstring seen;
  int id = 0;
  id = window.StartTimer(20, [&] {
    HWND box = ::FindWindowW(L"#32770", MainWindow::kAppName);
    if (box == nullptr) return;
    HWND text = ::GetDlgItem(box, 0xFFFF);
    seen = text != nullptr ? TextOf(text) : L"?";
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    window.StopTimer(id);
  });
  HWND panel = window.Control("Panel1");
  ::SendMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 260));
  ::SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(300, 260));
  EXPECT_EQ(seen, L"Open Com port.");
  // A release without a press on the panel is no click.
  seen.clear();
  ::SendMessageW(panel, WM_LBUTTONUP, 0, MAKELPARAM(300, 260));
  EXPECT_TRUE(seen.empty());
}

TEST_F(Win32Window, HelpOpensAWindowWithTheHelpFileBesideTheProgram) {
  {
    std::ofstream f(dir.File("help.txt"), std::ios::binary);
    f << "도움말\nline 2\n";
  }
  Click(window.Control("btHelp"));
  HWND help = ::FindWindowW(L"TfHelp", L"Help");
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(::GetWindow(help, GW_OWNER), window.Handle());
  RECT client;
  ::GetClientRect(help, &client);
  EXPECT_EQ(client.right, 710);
  EXPECT_EQ(client.bottom, 521);
  EXPECT_EQ(TextOf(::GetWindow(help, GW_CHILD)), L"\uB3C4\uC6C0\uB9D0\r\nline 2\r\n");
  ::DestroyWindow(help);
}

TEST(HelpText, LinesEndAsTheEditWantsAndALongFileIsCutOnAWholeLine) {
  TempDir dir;
  {
    std::ofstream f(dir.File("help.txt"), std::ios::binary);
    f << "첫째 줄\r\nsecond\nthird line\n";
  }
  EXPECT_EQ(ReadHelpText(dir.File("help.txt")), L"\uCCAB\uC9F8 \uC904\r\nsecond\r\nthird line\r\n");
  // 15 bytes: the Hangul line (10 bytes and its CR LF) and part of "second".
  EXPECT_EQ(ReadHelpText(dir.File("help.txt"), 15),
            L"\uCCAB\uC9F8 \uC904\r\n[help.txt is longer: only its first 12 bytes are shown]");
  try {
    ReadHelpText(dir.File("missing.txt"));
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("missing.txt"), std::string::npos);
  }
}

TEST(PortDescription, TheDriversNameWithoutThePortAndTheMakerBesideIt) {
  EXPECT_EQ(PortDescriptionText("USB Serial Port (COM3)", "FTDI", "COM3"), "USB Serial Port, FTDI");
  // The system's placeholder maker is left out, and a maker the name holds is not repeated.
  EXPECT_EQ(PortDescriptionText("Communications Port (COM1)", "(Standard port types)", "COM1"),
            "Communications Port");
  EXPECT_EQ(PortDescriptionText("Prolific USB-to-Serial (COM12)", "Prolific", "COM12"),
            "Prolific USB-to-Serial");
  // Another port's number in the name stays.
  EXPECT_EQ(PortDescriptionText("Bridge (COM1)", "", "COM12"), "Bridge (COM1)");
  EXPECT_EQ(DescribeComPort("\\\\.\\COM250"), "");
}

}  // namespace
}  // namespace kelta::win32
