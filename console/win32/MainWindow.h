#pragma once
// The console's main window as a native Windows program: every control of the form's layout
// table (console/form/FormLayout.h) made with CreateWindowExW, the status bar with its two
// panels, the message and question boxes, the wait that keeps messages flowing, the timers,
// the help window and the dial view. The behaviour is the form's (console/form/ConsoleForm.h),
// whose window interface this implements and whose handlers the controls run.
//
// Threading: the GUI thread only; the serial port's workers reach it through
// Win32Dispatcher, a message to a window of its own that the worker waits on.

#include "console/form/ConsoleForm.h"
#include "console/form/FormLayout.h"
#include "console/form/LayoutScale.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelta {
class Win32Dispatcher;
}

namespace kelta::win32 {

class DialView;
class TrendWindow;

class MainWindow final : public IFormWindow {
 public:
  // The window's class name, as the operator's screen names the form; its title is kFormTitle.
  static constexpr const wchar_t* kClassName = L"TFVANTORIS";
  // The application's name: the title of its message boxes.
  static constexpr const wchar_t* kAppName = L"KELTA_Dispaly";

  // appDir: folder (with its trailing separator) of "UserSet.dat", "LogFile.Log" and the port
  // map; helpDir: that of "help.txt" (empty: appDir). Makes the window (not shown yet) and
  // starts the form.
  MainWindow(HINSTANCE instance, std::string appDir, std::string helpDir = {});
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Shows the window and runs the thread's messages until the window has closed.
  int Run(int show);

  ConsoleForm& Form() { return *form_; }
  HWND Handle() const { return window_; }
  // The DPI the window is laid out for: its screen's, since it opened or last moved.
  int Dpi() const { return dpi_; }
  DialView& Dial() const { return *dial_; }
  // A control by its name in the layout table; nullptr when the window has none of that name.
  HWND Control(std::string_view name) const;
  std::string StatusText(int panel) const;
  // The "Trend" button (a row of the layout table) shows the trend window, made at the first
  // click; Trend() is nullptr before.
  HWND TrendButton() const { return Control("btTrend"); }
  TrendWindow* Trend() const { return trend_.get(); }
  void OpenTrend() override;

  // IFormWindow
  std::string Text(FormControl control) const override;
  void SetText(FormControl control, const std::string& text) override;
  void SetItems(FormControl control, const std::vector<std::string>& items,
                const std::vector<std::string>& descriptions) override;
  std::string DescribePort(const std::string& devicePath) const override;
  void SetVisible(FormControl control, bool visible) override;
  void AddLine(FormControl control, const std::string& line) override;
  void AddLines(FormControl control, std::span<const std::string> lines) override;
  void SetChecked(FormControl control, bool checked) override;
  std::string ChooseFolder(const std::string& start) override;
  void SetStatus(int panel, const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  bool WaitWithMessages(int ms, const std::function<bool()>& cancelled) override;
  IAngleView& AngleView() override;
  int StartTimer(int ms, std::function<void()> tick) override;
  void StopTimer(int id) override;
  void OpenHelp() override;
  void CloseWindow() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Messages of the panels and group boxes that their controls send to their parent.
  bool OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  void RegisterClasses();
  void CreateControls();
  HWND CreateControl(const ControlLayout& c, int id);
  // The font of a control whose table size is tablePixels, at the window's DPI.
  HFONT Font(int tablePixels, bool bold);
  // Table pixels at the window's DPI.
  int Scaled(int pixels) const { return ScaleToDpi(pixels, dpi_); }
  // A control's place at the window's DPI; a label as wide as its caption in its font.
  ControlPlace PlaceOf(const ControlLayout& c, HFONT font) const;
  void SizeStatusBar(const ControlLayout& c, HFONT font);
  void SizeCombo(HWND combo);
  // The port box's edit and its list's rows: one text row, and a little more room.
  int ComboEditHeight() const { return Scaled(kEditHeight - 6); }
  int ComboRowHeight() const { return Scaled(16); }
  // Resizes the window, its top-left kept, so that its client area is the form's at its DPI.
  void FitClient();
  // Lays the window out again for a screen of `dpi`, in the rectangle the system suggests.
  void ChangeDpi(int dpi, const RECT& suggested);
  HBRUSH BackgroundOf(HWND container) const;
  void PaintContainer(HWND container, HDC dc);
  void DrawPortItem(const DRAWITEMSTRUCT& item);
  // One message of the thread, through the window's keyboard navigation.
  void Dispatch(MSG& message);
  // A click on a button or on a panel's bare background: runs the handler its row names.
  void Click(const ControlLayout& c);
  void Closing();

  const ControlLayout* LayoutByHandle(HWND control) const;
  HWND ControlOf(FormControl control) const;

  HINSTANCE instance_;
  std::string appDir_;
  std::string helpDir_;
  HWND window_ = nullptr;
  HWND statusBar_ = nullptr;
  int dpi_ = kLayoutDpi;
  std::map<std::string, HWND, std::less<>> controls_;
  std::map<HWND, const ControlLayout*> layouts_;
  std::map<std::pair<int, bool>, HFONT> fonts_;
  HBRUSH silver_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  std::vector<std::string> portDescriptions_;  // beside ePortNo's items
  std::map<UINT_PTR, std::function<void()>> timers_;
  UINT_PTR lastTimer_ = 0;
  bool closed_ = false;
  bool panelPressed_ = false;
  std::unique_ptr<DialView> dial_;
  std::unique_ptr<TrendWindow> trend_;
  std::shared_ptr<Win32Dispatcher> dispatcher_;
  // Last: goes first, so closing its port still reports to the window.
  std::unique_ptr<ConsoleForm> form_;
};

}  // namespace kelta::win32
