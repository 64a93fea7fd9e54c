#pragma once
// The dial view in the native window: the form's angle view on the dial frame (the needle
// turned under the dial picture, the readout inside it, the live and stale marks), shown in a
// child window of its own from the frame's 32-bit pixels, drawn at the size the screen's DPI
// asks for. GUI thread only.

#include "console/form/AngleView.h"
#include "graphics/dial/DialFrame.h"

#include <windows.h>

namespace kelta::win32 {

class DialView final : public IAngleView {
 public:
  // Registers the window class once and makes the view as a child of `parent`.
  DialView(HINSTANCE instance, HWND parent, int left, int top, int width, int height);
  ~DialView() override;
  DialView(const DialView&) = delete;
  DialView& operator=(const DialView&) = delete;

  void LoadDialImages(const std::string& file) override;
  void ShowAngle(double value, const std::string& mode) override;
  void SetLive(bool live) override;
  void SetStale(bool stale) override;

  // The view on a screen of `dpi`: the frame drawn dpi / 96 times its size (the dial
  // resampled, the readout painted at that size), repainted now.
  void SetDpi(int dpi);
  int Dpi() const { return dpi_; }
  // The frame as the view shows it, at the view's DPI.
  const gfx::TBitmap32& Shown() { return frame_.ComposeScaled(dpi_, 96); }

  HWND Handle() const { return window_; }
  static constexpr const wchar_t* kClassName = L"KELTA_DialView";

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint(HDC dc);
  void Changed();

  gfx::DialFrame frame_;
  HWND window_ = nullptr;
  int dpi_ = 96;
};

}  // namespace kelta::win32
