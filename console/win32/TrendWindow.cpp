#include "console/win32/TrendWindow.h"

#include "console/form/LayoutScale.h"
#include "console/win32/Utf16.h"
#include "console/win32/WindowDpi.h"

#include <commdlg.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace kelta::win32 {

namespace {

// Repaints ten times a second: smooth enough for a live line, and a picture is a few
// milliseconds.
constexpr UINT kRefreshMs = 100;
constexpr UINT_PTR kRefreshTimer = 1;
// The writer of a CSV save has ended; its outcome waits in the window.
constexpr UINT kCsvSavedMessage = WM_APP + 1;

enum ControlId { kSpanId = 101, kScaleId, kSavePngId, kSaveCsvId };

const wchar_t* const kSpanNames[] = {L"10 s", L"1 min", L"10 min", L"1 h"};

// The Qt window's size and its smallest.
constexpr int kClientWidth = 720, kClientHeight = 420;
constexpr int kMinWidth = 360, kMinHeight = 220;
// Where the plot begins: under the controls and the statistics line.
constexpr int kPlotTop = 60;

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HBRUSH background) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (::GetClassInfoExW(instance, name, &wc)) return;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  ::RegisterClassExW(&wc);
}

TrendWindow* SelfOf(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<TrendWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

TrendWindow::TrendWindow(HINSTANCE instance, HWND owner, const TrendBuffer& trend,
                         SensorRange sensorRange)
    : instance_(instance), trend_(trend), sensorRange_(std::move(sensorRange)) {
  RegisterWindowClass(instance_, kClassName, &TrendWindow::WindowProc,
                      reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  RegisterWindowClass(instance_, kPlotClassName, &TrendWindow::PlotProc, nullptr);
  // Laid out for its owner's screen.
  dpi_ = WindowDpi(owner);
  font_ = FontAt(dpi_);

  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  const RECT frame = FrameForClient(Scaled(kClientWidth), Scaled(kClientHeight), style, 0, dpi_);
  window_ = ::CreateWindowExW(0, kClassName, L"Trend", style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                              instance_, this);
  if (window_ == nullptr) throw std::runtime_error("Cannot create the trend window");
  // The frame as this system draws it may differ from its measure at the DPI.
  RECT client;
  ::GetClientRect(window_, &client);
  if (client.right != Scaled(kClientWidth) || client.bottom != Scaled(kClientHeight))
    ::SetWindowPos(window_, nullptr, 0, 0,
                   frame.right - frame.left + Scaled(kClientWidth) - client.right,
                   frame.bottom - frame.top + Scaled(kClientHeight) - client.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  const auto make = [this](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y,
                           int w, int h, int id) {
    HWND c =
        ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, window_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return c;
  };
  // Placed by Layout.
  spanLabel_ = make(L"STATIC", L"Span", SS_CENTERIMAGE, 0, 0, 0, 0, 0);
  span_ = make(L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 0, 0, 0, kSpanId);
  for (const wchar_t* name : kSpanNames)
    ::SendMessageW(span_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  scaleLabel_ = make(L"STATIC", L"Scale", SS_CENTERIMAGE, 0, 0, 0, 0, 0);
  scale_ = make(L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 0, 0, 0, kScaleId);
  ::SendMessageW(scale_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Autoscale"));
  ::SendMessageW(scale_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Sensor range"));
  ::SendMessageW(span_, CB_SETCURSEL, 0, 0);
  ::SendMessageW(scale_, CB_SETCURSEL, kAutoscale, 0);
  savePng_ = make(L"BUTTON", L"Save PNG\u2026", WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, kSavePngId);
  saveCsv_ = make(L"BUTTON", L"Save CSV\u2026", WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, kSaveCsvId);
  stats_ = make(L"STATIC", L"", SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, 0, 0, 0, 0);
  plot_ = ::CreateWindowExW(0, kPlotClassName, L"plot", WS_CHILD | WS_VISIBLE, 0, kPlotTop, 0, 0,
                            window_, nullptr, instance_, this);
  Layout();
  Refresh();
  ::SetTimer(window_, kRefreshTimer, kRefreshMs, nullptr);
}

TrendWindow::~TrendWindow() {
  csvSave_.Finish();
  if (window_ != nullptr) {
    ::KillTimer(window_, kRefreshTimer);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    if (plot_ != nullptr) ::SetWindowLongPtrW(plot_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
  for (const auto& [dpi, font] : fonts_) ::DeleteObject(font);
}

int TrendWindow::Scaled(int pixels) const { return ScaleToDpi(pixels, dpi_); }

HFONT TrendWindow::FontAt(int dpi) {
  // The system's dialog font is made for the main screen's DPI; on a screen of another, it is
  // made anew that much larger or smaller.
  auto* stock = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  const int system = WindowDpi(nullptr);
  if (dpi == system) return stock;
  if (const auto it = fonts_.find(dpi); it != fonts_.end()) return it->second;
  LOGFONTW font{};
  ::GetObjectW(stock, sizeof font, &font);
  font.lfHeight = ::MulDiv(font.lfHeight, dpi, system);
  font.lfWidth = 0;
  HFONT made = ::CreateFontIndirectW(&font);
  fonts_[dpi] = made;
  return made;
}

void TrendWindow::Show() {
  ::ShowWindow(window_, SW_SHOW);
  ::SetForegroundWindow(window_);
  Refresh();
}

void TrendWindow::SetSpan(int index) {
  ::SendMessageW(span_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  Refresh();
}

void TrendWindow::SetScale(ScaleChoice choice) {
  ::SendMessageW(scale_, CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
  Refresh();
}

double TrendWindow::Span() const {
  const auto i = static_cast<int>(::SendMessageW(span_, CB_GETCURSEL, 0, 0));
  return TrendBuffer::kSpans[std::clamp(i, 0, static_cast<int>(std::size(kSpanNames)) - 1)];
}

TrendView TrendWindow::CurrentView() const {
  TrendView view;
  view.end = trend_.Now();
  view.span = Span();
  if (::SendMessageW(scale_, CB_GETCURSEL, 0, 0) == kSensorRange && sensorRange_)
    view.scale = sensorRange_();
  return view;
}

void TrendWindow::Layout() {
  if (plot_ == nullptr) return;  // still being made
  RECT client;
  ::GetClientRect(window_, &client);
  const int w = client.right;
  // The Qt window's places at 96 DPI, times the screen's scale.
  const auto place = [this](HWND c, int x, int y, int width, int height) {
    ::MoveWindow(c, Scaled(x), Scaled(y), Scaled(x + width) - Scaled(x),
                 Scaled(y + height) - Scaled(y), TRUE);
  };
  place(spanLabel_, 10, 10, 34, 22);
  place(span_, 44, 10, 80, 120);
  place(scaleLabel_, 136, 10, 36, 22);
  place(scale_, 172, 10, 110, 80);
  const int button = Scaled(90);
  ::MoveWindow(saveCsv_, w - Scaled(10) - button, Scaled(10), button, Scaled(24), TRUE);
  ::MoveWindow(savePng_, w - Scaled(10 + 6) - 2 * button, Scaled(10), button, Scaled(24), TRUE);
  ::MoveWindow(stats_, Scaled(10), Scaled(38), std::max(w - Scaled(20), 0), Scaled(18), TRUE);
  ::MoveWindow(plot_, 0, Scaled(kPlotTop), w, std::max<int>(client.bottom - Scaled(kPlotTop), 0),
               TRUE);
}

void TrendWindow::Refresh() {
  if (plot_ == nullptr) return;
  const TrendView view = CurrentView();
  const TrendBuffer::Stats s = trend_.Summarize(view.end - view.span, view.end);
  const bool rangeMissing =
      ::SendMessageW(scale_, CB_GETCURSEL, 0, 0) == kSensorRange && !view.scale;
  const std::wstring text = Widen(TrendStatsText(s, view.span, rangeMissing));
  std::wstring shown(static_cast<size_t>(::GetWindowTextLengthW(stats_)) + 1, L'\0');
  shown.resize(static_cast<size_t>(::GetWindowTextW(stats_, shown.data(), int(shown.size()))));
  if (shown != text) ::SetWindowTextW(stats_, text.c_str());
  ::InvalidateRect(plot_, nullptr, FALSE);
}

void TrendWindow::DrawPlot(HDC target) {
  RECT client;
  ::GetClientRect(plot_, &client);
  const gfx::TBitmap32& b = picture_.Draw(trend_, CurrentView(), client.right, client.bottom);
  if (b.Empty()) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = b.Width();
  info.bmiHeader.biHeight = -b.Height();  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  ::StretchDIBits(target, 0, 0, b.Width(), b.Height(), 0, 0, b.Width(), b.Height(), b.Bits(), &info,
                  DIB_RGB_COLORS, SRCCOPY);
}

bool TrendWindow::SavePng(const std::string& path, std::string* error) {
  RECT client;
  ::GetClientRect(plot_, &client);
  TrendPicture picture;
  const bool empty = client.right <= 0 || client.bottom <= 0;
  picture.Draw(trend_, CurrentView(), empty ? 720 : client.right, empty ? 360 : client.bottom);
  const std::string failure = picture.SavePng(path);
  if (failure.empty()) return true;
  if (error) *error = failure;
  return false;
}

bool TrendWindow::StartSaveCsv(const std::string& path,
                               std::function<void(const std::string& error)> saved) {
  if (SavingCsv()) return false;
  const TrendView view = CurrentView();
  csvPath_ = path;
  csvSaved_ = std::move(saved);
  HWND window = window_;
  const bool started = csvSave_.Start(trend_, view.end - view.span, view.end, path,
                                      [this, window](const std::string& error) {
                                        {
                                          std::lock_guard<std::mutex> lock(csvMutex_);
                                          csvError_ = error;
                                        }
                                        ::PostMessageW(window, kCsvSavedMessage, 0, 0);
                                      });
  if (started) ::EnableWindow(saveCsv_, FALSE);
  return started;
}

void TrendWindow::AskAndSave(bool png) {
  wchar_t file[4 * MAX_PATH] = {};
  const std::wstring initial = png ? L"trend.png" : L"trend.csv";
  std::copy(initial.begin(), initial.end(), file);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = window_;
  ofn.lpstrFilter = png ? L"PNG pictures (*.png)\0*.png\0" : L"CSV files (*.csv)\0*.csv\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = static_cast<DWORD>(std::size(file));
  ofn.lpstrTitle = png ? L"Save trend as PNG" : L"Save trend as CSV";
  ofn.lpstrDefExt = png ? L"png" : L"csv";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!::GetSaveFileNameW(&ofn)) return;
  const std::string path = Narrow(file);
  std::string error;
  if (png ? SavePng(path, &error) : StartSaveCsv(path)) return;
  ShowSaveError(path, png ? error : "the last save is still being written");
}

void TrendWindow::ShowSaveError(const std::string& path, const std::string& error) {
  const std::wstring text = Widen("Cannot save \"" + path + "\": " + error);
  ::MessageBoxW(window_, text.c_str(), L"Trend", MB_OK | MB_ICONWARNING);
}

LRESULT TrendWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      Layout();
      Refresh();
      return 0;
    case WM_DPICHANGED: {
      // Moved to a screen of another DPI: its font and places for that screen, in the
      // rectangle the system suggests.
      dpi_ = HIWORD(wParam);
      font_ = FontAt(dpi_);
      for (HWND c : {spanLabel_, span_, scaleLabel_, scale_, savePng_, saveCsv_, stats_})
        ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
      const auto* r = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(window_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_GETMINMAXINFO: {
      const RECT frame =
          FrameForClient(Scaled(kMinWidth), Scaled(kMinHeight), WS_OVERLAPPEDWINDOW, 0, dpi_);
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
      return 0;
    }
    case WM_TIMER:
      if (wParam == kRefreshTimer && ::IsWindowVisible(window_)) Refresh();
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kSpanId:
        case kScaleId:
          if (HIWORD(wParam) == CBN_SELCHANGE) Refresh();
          return 0;
        case kSavePngId:
        case kSaveCsvId:
          if (HIWORD(wParam) == BN_CLICKED) AskAndSave(LOWORD(wParam) == kSavePngId);
          return 0;
        default:
          break;
      }
      break;
    case kCsvSavedMessage: {
      csvSave_.Finish();
      ::EnableWindow(saveCsv_, TRUE);
      std::string error;
      {
        std::lock_guard<std::mutex> lock(csvMutex_);
        error = csvError_;
      }
      auto saved = std::move(csvSaved_);
      csvSaved_ = nullptr;
      if (saved)
        saved(error);
      else if (!error.empty())
        ShowSaveError(csvPath_, error);
      return 0;
    }
    case WM_CLOSE:
      // Closing hides: the console's Trend button shows the same window again.
      ::ShowWindow(window_, SW_HIDE);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK TrendWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TrendWindow* self = SelfOf(window, message, lParam);
  if (self == nullptr || self->window_ != window)
    return ::DefWindowProcW(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT CALLBACK TrendWindow::PlotProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TrendWindow* self = SelfOf(window, message, lParam);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the picture covers it
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window, &ps);
      if (self != nullptr && self->plot_ == window) self->DrawPlot(dc);
      ::EndPaint(window, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      if (self != nullptr && self->plot_ == window) self->DrawPlot(reinterpret_cast<HDC>(wParam));
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kelta::win32
