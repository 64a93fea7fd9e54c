// The native trend window (under Wine in the Windows build): opened by the console's "Trend"
// button, its plot on screen exactly the form's trend picture (the pixels the Qt window shows
// too), its statistics line the form's, and its CSV saved in the background.

#include "console/form/TrendPicture.h"
#include "console/win32/MainWindow.h"
#include "console/win32/TrendWindow.h"
#include "console/win32/Utf16.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace kelta::win32 {
namespace {

std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(control, text.data(), int(text.size()))));
  return text;
}

TEST(Win32Trend, TheConsolesTrendButtonShowsOneTrendWindow) {
  test::TempDir dir;
  MainWindow window(::GetModuleHandleW(nullptr), dir.Path());
  HWND button = window.TrendButton();
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(TextOf(button), L"Trend");
  EXPECT_EQ(::GetParent(button), window.Control("Panel1"));
  RECT r;
  ::GetWindowRect(button, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(button), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 152);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 64);
  EXPECT_EQ(r.bottom - r.top, 24);
  EXPECT_EQ(window.Trend(), nullptr);
  const auto click = [&] {
    ::SendMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
  };
  click();
  TrendWindow* trend = window.Trend();
  ASSERT_NE(trend, nullptr);
  EXPECT_TRUE(::IsWindowVisible(trend->Handle()));
  click();  // a second click shows the same window
  EXPECT_EQ(window.Trend(), trend);
}

// Every pixel of the plot as the window paints it (through WM_PRINTCLIENT into a 32-bit DIB)
// is the pixel TrendPicture draws for the window's span and scale.
TEST(Win32Trend, ThePlotShowsTheFormsPicturePixelForPixel) {
  double now = 100;
  TrendBuffer trend(4096, [&now] { return now; });
  for (int i = 0; i <= 400; ++i) trend.Push(90 + i / 100.0, 60 * std::sin(i / 25.0));
  trend.MarkGap(94.5);
  for (int i = 0; i <= 400; ++i) trend.Push(96 + i / 100.0, 30 + i / 10.0);
  TrendWindow window(::GetModuleHandleW(nullptr), nullptr, trend,
                     [] { return std::make_optional(std::make_pair(-180.0, 180.0)); });
  window.Show();
  RECT client;
  ::GetClientRect(window.Plot(), &client);
  ASSERT_EQ(client.right, 720);
  ASSERT_EQ(client.bottom, 360);
  for (auto scale : {TrendWindow::kAutoscale, TrendWindow::kSensorRange}) {
    window.SetScale(scale);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP dib = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    HGDIOBJ old = ::SelectObject(dc, dib);
    ::SendMessageW(window.Plot(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    ::GdiFlush();
    TrendPicture picture;
    const gfx::TBitmap32& drawn =
        picture.Draw(trend, window.CurrentView(), client.right, client.bottom);
    const auto* shown = static_cast<const uint32_t*>(bits);
    int differing = 0;
    for (int i = 0; i < client.right * client.bottom; ++i)
      differing += (shown[i] & 0xFFFFFFu) != (drawn.Bits()[i] & 0xFFFFFFu);
    EXPECT_EQ(differing, 0) << "scale choice " << scale;
    ::SelectObject(dc, old);
    ::DeleteObject(dib);
    ::DeleteDC(dc);
    const TrendView view = window.CurrentView();
    EXPECT_EQ(Narrow(TextOf(window.Stats())),
              TrendStatsText(trend.Summarize(view.end - view.span, view.end), view.span, false));
  }
}

TEST(Win32Trend, CsvIsSavedInTheBackgroundAndReportedToTheWindow) {
  double now = 10;
  TrendBuffer trend(4096, [&now] { return now; });
  for (int i = 0; i < 50; ++i) trend.Push(i / 5.0, i * 0.5);
  TrendWindow window(::GetModuleHandleW(nullptr), nullptr, trend, {});
  test::TempDir dir;
  const std::string path = dir.File("trend.csv");
  bool reported = false;
  std::string error = "no report";
  ASSERT_TRUE(window.StartSaveCsv(path, [&](const std::string& e) {
    reported = true;
    error = e;
  }));
  EXPECT_FALSE(::IsWindowEnabled(window.SaveCsvButton()));
  MSG message;
  while (!reported && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  EXPECT_EQ(error, "");
  EXPECT_FALSE(window.SavingCsv());
  EXPECT_TRUE(::IsWindowEnabled(window.SaveCsvButton()));
  const std::string text = test::ReadFile(path);
  EXPECT_EQ(text.rfind(kTrendCsvHeader, 0), 0u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 51);
}

}  // namespace
}  // namespace kelta::win32
