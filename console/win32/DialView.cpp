#include "console/win32/DialView.h"

namespace kelta::win32 {

DialView::DialView(HINSTANCE instance, HWND parent, int left, int top, int width, int height) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!::GetClassInfoExW(instance, kClassName, &wc)) {
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &DialView::Proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    ::RegisterClassExW(&wc);
  }
  window_ = ::CreateWindowExW(0, kClassName, L"Dst", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, left,
                              top, width, height, parent, nullptr, instance, this);
  // Needle and readout at 0 from the start, as the Qt view shows them.
  frame_.ShowAngle(0);
}

DialView::~DialView() {
  if (window_ != nullptr) {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
}

void DialView::LoadDialImages(const std::string& file) {
  frame_.LoadDialImages(file);
  Changed();
}

void DialView::ShowAngle(double value, const std::string& mode) {
  frame_.ShowAngle(value, mode);
  Changed();
}

void DialView::SetLive(bool live) {
  frame_.SetLive(live);
  Changed();
}

void DialView::SetStale(bool stale) {
  frame_.SetStale(stale);
  Changed();
}

void DialView::SetDpi(int dpi) {
  if (dpi <= 0 || dpi == dpi_) return;
  dpi_ = dpi;
  Changed();
}

void DialView::Changed() {
  if (window_ == nullptr) return;
  ::InvalidateRect(window_, nullptr, FALSE);
  // At once, as the Qt view repaints: a long wait must not leave an old angle on screen.
  ::UpdateWindow(window_);
}

void DialView::Paint(HDC dc) {
  const gfx::TBitmap32& f = Shown();
  RECT client;
  ::GetClientRect(window_, &client);
  // The part of the view the frame does not cover (a smaller dial picture) stays white, as
  // the view's background is.
  if (f.Width() < client.right || f.Height() < client.bottom)
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = f.Width();
  info.bmiHeader.biHeight = -f.Height();  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  ::StretchDIBits(dc, 0, 0, f.Width(), f.Height(), 0, 0, f.Width(), f.Height(), f.Bits(), &info,
                  DIB_RGB_COLORS, SRCCOPY);
}

LRESULT CALLBACK DialView::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<DialView*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers it
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window, &ps);
      if (self != nullptr) {
        self->window_ = window;
        self->Paint(dc);
      }
      ::EndPaint(window, &ps);
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kelta::win32
