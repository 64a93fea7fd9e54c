// The native window on a screen of any DPI (the run's own, KELTA_WINE_DPI, set in its Wine
// prefix; 96 without it) and when it moves to another: every control at the table's place
// times the scale, its font and the dial view drawn at the scaled size. And Memo1 as an
// editor's list: the operator's selection and view kept while lines arrive, Ctrl+A and Ctrl+C.

#include "console/form/FormLayout.h"
#include "console/form/LayoutScale.h"
#include "console/win32/DialView.h"
#include "console/win32/MainWindow.h"
#include "console/win32/TrendWindow.h"
#include "console/win32/Utf16.h"
#include "console/win32/WindowDpi.h"
#include "tests/support/TempDir.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace kelta::win32 {
namespace {

using test::TempDir;

// The DPI the run's screen has.
int ScreenDpi() {
  const char* dpi = std::getenv("KELTA_WINE_DPI");
  return dpi != nullptr && *dpi != '\0' ? std::atoi(dpi) : 96;
}

RECT PlaceOf(HWND control) {
  RECT r;
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Every control of the table where the table times dpi / 96 puts it (within 2 pixels), in a
// font of its table size times the same; the dial view that large, showing a frame that large.
void ExpectLaidOutAt(MainWindow& window, int dpi) {
  const double scale = dpi / 96.0;
  EXPECT_EQ(window.Dpi(), dpi);
  RECT client;
  ::GetClientRect(window.Handle(), &client);
  EXPECT_NEAR(client.right, kFormWidth * scale, 2);
  EXPECT_NEAR(client.bottom, kFormHeight * scale, 2);
  for (const ControlLayout& row : FormLayout()) {
    if (row.name == "Src" || row.name == "ivBGR" || row.name == "ssaValue") continue;
    if (row.kind == ControlKind::StatusBar) continue;  // the system places it
    SCOPED_TRACE(std::string(row.name) + " at " + std::to_string(dpi));
    HWND control = window.Control(row.name);
    ASSERT_NE(control, nullptr);
    const RECT r = PlaceOf(control);
    EXPECT_NEAR(r.left, row.left * scale, 2);
    EXPECT_NEAR(r.top, row.top * scale, 2);
    if (row.kind == ControlKind::Label) {
      EXPECT_GE(r.right - r.left, row.width * scale - 2);
    } else {
      EXPECT_NEAR(r.right - r.left, row.width * scale, 2);
    }
    if (row.kind != ControlKind::Combo) {
      EXPECT_NEAR(r.bottom - r.top, row.height * scale, 2);
    }
    // The panels and group boxes draw their captions in the window's font themselves.
    if (row.kind == ControlKind::View || row.kind == ControlKind::Panel ||
        row.kind == ControlKind::GroupBox)
      continue;
    LOGFONTW font{};
    ASSERT_NE(::GetObjectW(reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)),
                           sizeof font, &font),
              0);
    EXPECT_EQ(font.lfHeight,
              -ScaleToDpi(row.fontPixels != 0 ? row.fontPixels : kFormFontPixels, dpi));
  }
  int edges[2] = {};
  ::SendMessageW(window.Control("StatusBar1"), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  EXPECT_EQ(edges[0], ScaleToDpi(kStatusPanelWidths[0], dpi));
  // The dial view: as large as the scaled table says, its frame composed at that size.
  RECT view;
  ::GetClientRect(window.Dial().Handle(), &view);
  const gfx::TBitmap32& shown = window.Dial().Shown();
  EXPECT_EQ(shown.Width(), ScaleToDpi(gfx::DialFrame::kInitialSize, dpi));
  EXPECT_NEAR(view.right, shown.Width(), 2);
  EXPECT_NEAR(view.bottom, shown.Height(), 2);
}

// The help window opened from the window: its laid-out size times the same scale.
void ExpectHelpAt(MainWindow& window, const TempDir& dir, int dpi) {
  {
    std::ofstream f(dir.File("help.txt"), std::ios::binary);
    f << "help\n";
  }
  window.OpenHelp();
  HWND help = ::FindWindowW(L"TfHelp", L"Help");
  ASSERT_NE(help, nullptr);
  RECT client;
  ::GetClientRect(help, &client);
  EXPECT_EQ(client.right, ScaleToDpi(710, dpi));
  EXPECT_EQ(client.bottom, ScaleToDpi(521, dpi));
  ::DestroyWindow(help);
}

// The view's pixels as the screen has them, 0xAARRGGBB with the alpha left out.
std::vector<std::uint32_t> ScreenPixels(HWND view, int width, int height) {
  HDC screen = ::GetDC(view);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, dib);
  ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  ::GdiFlush();
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  std::memcpy(pixels.data(), bits, pixels.size() * sizeof(std::uint32_t));
  for (std::uint32_t& p : pixels) p &= 0xFFFFFFu;
  ::SelectObject(memory, old);
  ::DeleteObject(dib);
  ::DeleteDC(memory);
  ::ReleaseDC(view, screen);
  return pixels;
}

// A setting of the program's own manifest, as the system read it; empty when there is none.
std::wstring ManifestSetting(const wchar_t* space, const wchar_t* name) {
  wchar_t value[64] = {};
  SIZE_T written = 0;
  if (!::QueryActCtxSettingsW(0, nullptr, space, name, value, 64, &written)) return {};
  return value;
}

class Win32Dpi : public ::testing::Test {
 protected:
  TempDir dir;
  MainWindow window{::GetModuleHandleW(nullptr), dir.Path()};
};

TEST_F(Win32Dpi, TheWindowOpensLaidOutForItsScreensDpiAndTheDialIsDrawnAtThatSize) {
  // The manifest declares the program aware of each screen's DPI, as the system reads it
  // (Wine takes every program as aware; Windows scales the window of one that is not), and the
  // system reports the screen's DPI.
  EXPECT_EQ(
      ManifestSetting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
      L"PerMonitorV2, System");
  EXPECT_EQ(ManifestSetting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"),
            L"true");
  EXPECT_EQ(WindowDpi(window.Handle()), ScreenDpi());
  ExpectLaidOutAt(window, ScreenDpi());
  ExpectHelpAt(window, dir, ScreenDpi());
  // The trend window: its laid-out size and controls times the same scale.
  window.OpenTrend();
  ASSERT_NE(window.Trend(), nullptr);
  RECT trend;
  ::GetClientRect(window.Trend()->Handle(), &trend);
  EXPECT_EQ(trend.right, ScaleToDpi(720, ScreenDpi()));
  EXPECT_EQ(trend.bottom, ScaleToDpi(420, ScreenDpi()));
  const RECT span = PlaceOf(window.Trend()->SpanBox());
  EXPECT_EQ(span.left, ScaleToDpi(44, ScreenDpi()));
  EXPECT_EQ(span.top, ScaleToDpi(10, ScreenDpi()));
  EXPECT_EQ(PlaceOf(window.Trend()->Plot()).top, ScaleToDpi(60, ScreenDpi()));
  ::ShowWindow(window.Trend()->Handle(), SW_HIDE);

  // On the screen: the frame composed at the scaled size, one screen pixel per frame pixel.
  window.SetVisible(FormControl::Panel1, true);
  ::ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
  window.AngleView().ShowAngle(-37.5, "3");
  ::UpdateWindow(window.Handle());
  window.WaitWithMessages(100, [] { return false; });
  const gfx::TBitmap32& shown = window.Dial().Shown();
  const std::vector<std::uint32_t> screen =
      ScreenPixels(window.Dial().Handle(), shown.Width(), shown.Height());
  int differing = 0;
  for (int y = 0; y < shown.Height(); ++y)
    for (int x = 0; x < shown.Width(); ++x)
      differing += screen[static_cast<std::size_t>(y) * shown.Width() + x] !=
                   (shown.Pixel(x, y) & 0xFFFFFFu);
  EXPECT_EQ(differing, 0);
  if (ScreenDpi() == 96) {
    // At 96 DPI the very frame of the view as it always was, unscaled.
    gfx::DialFrame plain;
    plain.ShowAngle(-37.5, "3");
    const gfx::TBitmap32& frame = plain.Compose();
    ASSERT_EQ(frame.Width(), shown.Width());
    EXPECT_EQ(std::memcmp(frame.Bits(), shown.Bits(),
                          static_cast<std::size_t>(frame.Width()) * frame.Height() * 4),
              0);
  }
}

TEST_F(Win32Dpi, MovedToAScreenOfAnotherDpiTheWindowIsLaidOutAgainInTheSuggestedRectangle) {
  const int home = window.Dpi();
  const int other = home == 192 ? 144 : 192;
  RECT place;
  ::GetWindowRect(window.Handle(), &place);
  const DWORD style = static_cast<DWORD>(::GetWindowLongW(window.Handle(), GWL_STYLE));
  RECT frame = FrameForClient(ScaleToDpi(kFormWidth, other), ScaleToDpi(kFormHeight, other), style,
                              0, other);
  const RECT suggested{place.left + 10, place.top + 20, place.left + 10 + frame.right - frame.left,
                       place.top + 20 + frame.bottom - frame.top};
  ::SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(other, other),
                 reinterpret_cast<LPARAM>(&suggested));
  RECT now;
  ::GetWindowRect(window.Handle(), &now);
  EXPECT_EQ(now.left, suggested.left);
  EXPECT_EQ(now.top, suggested.top);
  ExpectLaidOutAt(window, other);
  // And back, as it was.
  frame =
      FrameForClient(ScaleToDpi(kFormWidth, home), ScaleToDpi(kFormHeight, home), style, 0, home);
  const RECT back{place.left, place.top, place.left + frame.right - frame.left,
                  place.top + frame.bottom - frame.top};
  ::SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(home, home),
                 reinterpret_cast<LPARAM>(&back));
  ExpectLaidOutAt(window, home);
}

std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(control, text.data(), int(text.size()))));
  return text;
}

std::wstring Selected(HWND edit) {
  DWORD start = 0;
  DWORD end = 0;
  ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return TextOf(edit).substr(start, end - start);
}

int FirstShown(HWND memo) {
  return static_cast<int>(::SendMessageW(memo, EM_GETFIRSTVISIBLELINE, 0, 0));
}

class Win32Memo : public Win32Dpi {
 protected:
  void SetUp() override {
    window.SetVisible(FormControl::Panel1, true);
    for (int i = 0; i < 100; ++i) window.AddLine(FormControl::Memo1, "D " + std::to_string(i));
  }
  // The line at the top of the list shows `line`'s number.
  std::wstring TopLine() {
    const LRESULT at = ::SendMessageW(memo, EM_LINEINDEX, FirstShown(memo), 0);
    const std::wstring text = TextOf(memo);
    return text.substr(at, text.find(L'\r', at) - at);
  }
  HWND memo = window.Control("Memo1");
};

TEST_F(Win32Memo, ASelectionMadeWhileLinesArriveStaysSelectedWhereTheOperatorLooks) {
  // The list followed the lines so far: its last line shows.
  EXPECT_GT(FirstShown(memo), 50);
  const auto from = ::SendMessageW(memo, EM_LINEINDEX, 10, 0);
  const auto to = ::SendMessageW(memo, EM_LINEINDEX, 13, 0) - 2;
  ::SendMessageW(memo, EM_SETSEL, from, to);
  ::SendMessageW(memo, EM_LINESCROLL, 0, 6 - FirstShown(memo));
  ASSERT_EQ(TopLine(), L"D 6");
  // One line at a time, and a batch as the form hands a frame's lines over.
  for (int i = 100; i < 125; ++i) window.AddLine(FormControl::Memo1, "D " + std::to_string(i));
  std::vector<std::string> batch;
  for (int i = 125; i < 150; ++i) batch.push_back("D " + std::to_string(i));
  window.AddLines(FormControl::Memo1, batch);
  EXPECT_EQ(Selected(memo), L"D 10\r\nD 11\r\nD 12");
  EXPECT_EQ(TopLine(), L"D 6");
  EXPECT_EQ(window.Text(FormControl::Memo1).substr(window.Text(FormControl::Memo1).rfind('\n') + 1),
            "D 149");
  // The oldest lines cut under it: the selection and the view move with their lines.
  batch.clear();
  for (int i = 150; i < ConsoleForm::kMemoLineLimit + 3; ++i)
    batch.push_back("D " + std::to_string(i));
  window.AddLines(FormControl::Memo1, batch);
  EXPECT_EQ(Selected(memo), L"D 10\r\nD 11\r\nD 12");
  EXPECT_EQ(TopLine(), L"D 6");
  // Scrolled back to the end, the list follows the new lines again.
  ::SendMessageW(memo, WM_VSCROLL, SB_BOTTOM, 0);
  window.AddLine(FormControl::Memo1, "last");
  const int count = static_cast<int>(::SendMessageW(memo, EM_GETLINECOUNT, 0, 0));
  RECT r;
  ::GetClientRect(memo, &r);
  const LRESULT lastAt =
      ::SendMessageW(memo, EM_POSFROMCHAR, ::SendMessageW(memo, EM_LINEINDEX, count - 1, 0), 0);
  EXPECT_LT(static_cast<short>(HIWORD(lastAt)), r.bottom) << "the last line is in view";
  EXPECT_GE(static_cast<short>(HIWORD(lastAt)), 0);
  EXPECT_EQ(Selected(memo), L"D 10\r\nD 11\r\nD 12");
}

// Where the first shown line starts, in the list's pixels: left of 0 when scrolled sideways.
int LineStart(HWND memo) {
  const LRESULT at = ::SendMessageW(memo, EM_LINEINDEX, FirstShown(memo), 0);
  return static_cast<short>(LOWORD(::SendMessageW(memo, EM_POSFROMCHAR, at, 0)));
}

TEST_F(Win32Memo, AListScrolledSidewaysStaysWhereTheOperatorScrolledIt) {
  window.AddLine(FormControl::Memo1, std::string(300, 'x'));
  // More lines than the list shows below it: scrolled to it, the list is not at its end.
  for (int i = 0; i < 40; ++i) window.AddLine(FormControl::Memo1, "E " + std::to_string(i));
  ::SendMessageW(memo, EM_LINESCROLL, 0, 95 - FirstShown(memo));
  const int unscrolled = LineStart(memo);
  ::SendMessageW(memo, WM_HSCROLL, SB_PAGERIGHT, 0);
  const int scrolled = LineStart(memo);
  ASSERT_LT(scrolled, unscrolled - 20);
  for (int i = 40; i < 50; ++i) window.AddLine(FormControl::Memo1, "E " + std::to_string(i));
  EXPECT_EQ(TopLine(), L"D 95");
  // The edit scrolls sideways by whole average characters.
  EXPECT_NEAR(LineStart(memo), scrolled, 8);
}

// Keys as the operator presses them: through the system's input, to the focused control.
void Press(std::initializer_list<WORD> keys) {
  std::vector<INPUT> input;
  for (const WORD key : keys) {
    INPUT down{};
    down.type = INPUT_KEYBOARD;
    down.ki.wVk = key;
    input.push_back(down);
  }
  for (auto key = keys.end(); key != keys.begin();) {
    INPUT up{};
    up.type = INPUT_KEYBOARD;
    up.ki.wVk = *--key;
    up.ki.dwFlags = KEYEVENTF_KEYUP;
    input.push_back(up);
  }
  ::SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

std::wstring Clipboard() {
  std::wstring text;
  if (!::OpenClipboard(nullptr)) return text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
      text = chars;
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

TEST_F(Win32Memo, CtrlASelectsTheWholeListAndEveryTextFieldAndCtrlCCopiesEveryLine) {
  ::ShowWindow(window.Handle(), SW_SHOW);
  ::SetForegroundWindow(window.Handle());
  auto pump = [this] { window.WaitWithMessages(150, [] { return false; }); };
  pump();
  ::SetFocus(memo);
  ::SendMessageW(memo, EM_SETSEL, 5, 5);
  Press({VK_CONTROL, 'A'});
  pump();
  EXPECT_EQ(Selected(memo), TextOf(memo));
  Press({VK_CONTROL, 'C'});
  pump();
  const std::wstring copied = Clipboard();
  EXPECT_EQ(copied, TextOf(memo));
  EXPECT_EQ(copied.substr(0, 5), L"D 0\r\n");
  EXPECT_EQ(copied.substr(copied.size() - 4), L"D 99");

  for (const char* field : {"ed360Send1", "leRangeN"}) {
    SCOPED_TRACE(field);
    HWND edit = window.Control(field);
    ::SetWindowTextW(edit, L"-12.5 text");
    ::SetFocus(edit);
    ::SendMessageW(edit, EM_SETSEL, 2, 2);
    Press({VK_CONTROL, 'A'});
    pump();
    EXPECT_EQ(Selected(edit), L"-12.5 text");
  }
}

}  // namespace
}  // namespace kelta::win32
