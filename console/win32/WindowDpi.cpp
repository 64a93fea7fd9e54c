#include "console/win32/WindowDpi.h"

namespace kelta::win32 {

namespace {

// A call of user32 by name; nullptr where the system lacks it.
template <typename Function>
Function User32Call(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  // Through the one function type that converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(user32, name)));
}

using DpiForWindow = UINT(WINAPI*)(HWND);
using DpiForSystem = UINT(WINAPI*)();
using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

}  // namespace

int WindowDpi(HWND window) {
  static const auto forWindow = User32Call<DpiForWindow>("GetDpiForWindow");
  static const auto forSystem = User32Call<DpiForSystem>("GetDpiForSystem");
  if (window != nullptr && forWindow != nullptr) {
    if (const UINT dpi = forWindow(window); dpi != 0) return static_cast<int>(dpi);
  }
  if (forSystem != nullptr) return static_cast<int>(forSystem());
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

RECT FrameForClient(int width, int height, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjust = User32Call<AdjustForDpi>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, width, height};
  if (adjust == nullptr || !adjust(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi)))
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  return frame;
}

}  // namespace kelta::win32
