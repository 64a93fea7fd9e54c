// The main window: the controls from the layout table, the form's window interface on them,
// the container panels' painting, the port list's drawing, the boxes, the wait and the timers.

#include "console/win32/MainWindow.h"

#include "console/form/LayoutScale.h"

#include "console/win32/AppIcon.h"
#include "console/win32/DialView.h"
#include "console/win32/HelpWindow.h"
#include "console/win32/MemoAppend.h"
#include "console/win32/PortDescription.h"
#include "console/win32/TrendWindow.h"
#include "console/win32/Utf16.h"
#include "console/win32/WindowDpi.h"
#include "serial/win32/Win32GuiDispatcher.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace kelta::win32 {

namespace {

constexpr const wchar_t* kContainerClass = L"KELTA_Panel";
// Control ids: the layout table's index plus this.
constexpr int kFirstId = 1000;
constexpr int kStatusBarId = 999;
// The drop-down list's height below the combo box's edit.
constexpr int kPortListHeight = 200;
// Room for a port's description beside its name in the dropped list.
constexpr int kPortListWidth = 360;
constexpr COLORREF kSilver = RGB(0xC0, 0xC0, 0xC0);
// A fixed frame: the window is not resizable.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

// An edit, the combo box's own included.
bool IsEdit(HWND window) {
  wchar_t name[8] = {};
  return window != nullptr && ::GetClassNameW(window, name, 8) == 4 &&
         ::CompareStringOrdinal(name, -1, L"Edit", -1, TRUE) == CSTR_EQUAL;
}

std::wstring WindowText(HWND control) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  const int n = ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(n, 0)));
  return text;
}

// What the window class of a control is, by its kind.
const wchar_t* ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Button:
    case ControlKind::ToggleButton:
      return L"BUTTON";
    case ControlKind::Edit:
    case ControlKind::LabeledEdit:
    case ControlKind::Memo:
      return L"EDIT";
    case ControlKind::Label:
      return L"STATIC";
    case ControlKind::Combo:
      return L"COMBOBOX";
    default:
      return kContainerClass;
  }
}

// Edits that the form fills from the sensor's reply are one text row: their text never wraps.
DWORD StyleOf(const ControlLayout& c) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.hidden ? 0 : WS_VISIBLE);
  switch (c.kind) {
    case ControlKind::Button:
      return style | WS_TABSTOP | BS_PUSHBUTTON;
    case ControlKind::ToggleButton:
      // Toggled by the click; the form then sets the state it ends in.
      return style | WS_TABSTOP | BS_AUTOCHECKBOX | BS_PUSHLIKE;
    case ControlKind::Edit:
    case ControlKind::LabeledEdit:
      return style | WS_TABSTOP | ES_AUTOHSCROLL;
    case ControlKind::Memo:
      return style | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
             ES_AUTOHSCROLL | ES_NOHIDESEL;
    case ControlKind::Label:
      return style | SS_NOPREFIX | SS_CENTERIMAGE | (c.rightAligned ? SS_RIGHT : SS_LEFT);
    case ControlKind::Combo:
      return style | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_OWNERDRAWFIXED |
             CBS_HASSTRINGS;
    default:
      return style | WS_CLIPCHILDREN;
  }
}

// Edits get a sunken border; panels and group boxes let Tab move on into their controls.
DWORD ExStyleOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Edit:
    case ControlKind::LabeledEdit:
    case ControlKind::Memo:
    case ControlKind::Combo:
      return WS_EX_CLIENTEDGE;
    case ControlKind::Panel:
    case ControlKind::GroupBox:
      return WS_EX_CONTROLPARENT;
    default:
      return 0;
  }
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, std::string appDir, std::string helpDir)
    : instance_(instance),
      appDir_(std::move(appDir)),
      helpDir_(helpDir.empty() ? appDir_ : std::move(helpDir)) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  silver_ = ::CreateSolidBrush(kSilver);
  RegisterClasses();

  // A fixed client area of the form's size at the screen's DPI, centred in the work area.
  dpi_ = WindowDpi(nullptr);
  const RECT frame = FrameForClient(Scaled(kFormWidth), Scaled(kFormHeight), kStyle, 0, dpi_);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{0, 0, width, height};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int left = work.left + std::max<LONG>(0, (work.right - work.left - width) / 2);
  const int top = work.top + std::max<LONG>(0, (work.bottom - work.top - height) / 2);
  window_ = ::CreateWindowExW(0, kClassName, Widen(std::string(kFormTitle)).c_str(), kStyle, left,
                              top, width, height, nullptr, nullptr, instance_, this);
  if (window_ == nullptr) throw std::runtime_error("Cannot create the main window");
  // Opened on a screen of another DPI than the main one: sized for the screen it is on.
  dpi_ = WindowDpi(window_);
  FitClient();
  bigIcon_ = MakeAppIcon(32);
  smallIcon_ = MakeAppIcon(16);
  ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
  ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  CreateControls();

  dispatcher_ = std::make_shared<Win32Dispatcher>();
  form_ = std::make_unique<ConsoleForm>(*this, appDir_, dispatcher_);
  form_->Guarded([this] { form_->FormCreate(); });
}

MainWindow::~MainWindow() {
  trend_.reset();  // its plot reads the form's trend store
  form_.reset();
  for (const auto& [id, tick] : timers_) ::KillTimer(window_, id);
  timers_.clear();
  dial_.reset();
  if (window_ != nullptr) {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
  for (const auto& [key, font] : fonts_) ::DeleteObject(font);
  if (silver_ != nullptr) ::DeleteObject(silver_);
  if (bigIcon_ != nullptr) ::DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) ::DestroyIcon(smallIcon_);
}

void MainWindow::RegisterClasses() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!::GetClassInfoExW(instance_, kClassName, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::WindowProc;
    wc.hInstance = instance_;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    ::RegisterClassExW(&wc);
  }
  if (!::GetClassInfoExW(instance_, kContainerClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::ContainerProc;
    wc.hInstance = instance_;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kContainerClass;
    ::RegisterClassExW(&wc);
  }
}

HFONT MainWindow::Font(int tablePixels, bool bold) {
  // Kept by their size on the screen until the window goes: a help window opened at another
  // DPI still uses the one it was given.
  const int pixels = Scaled(tablePixels);
  const auto key = std::make_pair(pixels, bold);
  if (const auto it = fonts_.find(key); it != fonts_.end()) return it->second;
  // A negative height is the characters' height in pixels, as the window's fonts are given.
  HFONT font = ::CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Shell Dlg 2");
  fonts_[key] = font;
  return font;
}

void MainWindow::CreateControls() {
  const auto table = FormLayout();
  for (size_t i = 0; i < table.size(); ++i) {
    const ControlLayout& c = table[i];
    // The Qt window's holders of the needle and dial pictures, and the readout inside the
    // dial view: the dial frame composes all of them into the one view.
    if (c.name == "Src" || c.name == "ivBGR" || c.name == "ssaValue") continue;
    HWND control = CreateControl(c, kFirstId + static_cast<int>(i));
    if (control == nullptr) continue;
    controls_.emplace(std::string(c.name), control);
    layouts_[control] = &c;
  }
}

void MainWindow::OpenTrend() {
  if (!trend_) {
    // The scale the sensor reported, else the range fields as typed.
    auto range = [this]() -> std::optional<std::pair<double, double>> {
      if (auto r = RangeScale(Text(FormControl::lbeNRange), Text(FormControl::lbePRange))) return r;
      return RangeScale(Text(FormControl::leRangeN), Text(FormControl::leRangeP));
    };
    trend_ = std::make_unique<TrendWindow>(instance_, window_, form_->Trend(), range);
  }
  trend_->Show();
}

HWND MainWindow::CreateControl(const ControlLayout& c, int id) {
  HWND parent = window_;
  if (!c.parent.empty()) {
    const auto it = controls_.find(c.parent);
    if (it == controls_.end()) return nullptr;
    parent = it->second;
  }
  HFONT font = Font(c.fontPixels != 0 ? c.fontPixels : kFormFontPixels, c.bold);

  if (c.kind == ControlKind::StatusBar) {
    statusBar_ =
        ::CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_,
                          reinterpret_cast<HMENU>(kStatusBarId), instance_, nullptr);
    SizeStatusBar(c, font);
    return statusBar_;
  }
  const ControlPlace place = PlaceOf(c, font);
  if (c.kind == ControlKind::View) {
    dial_ = std::make_unique<DialView>(instance_, parent, place.left, place.top, place.width,
                                       place.height);
    dial_->SetDpi(dpi_);
    if (c.hidden) ::ShowWindow(dial_->Handle(), SW_HIDE);
    return dial_->Handle();
  }

  const std::wstring caption = Widen(std::string(c.caption));
  const DWORD exStyle = ExStyleOf(c.kind);
  const std::wstring title = c.kind == ControlKind::Panel || c.kind == ControlKind::GroupBox
                                 ? Widen(std::string(c.name))
                                 : caption;
  HWND control = ::CreateWindowExW(
      exStyle, ClassOf(c.kind), title.c_str(), StyleOf(c), place.left, place.top, place.width,
      place.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, this);
  if (control == nullptr) return nullptr;
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  switch (c.kind) {
    case ControlKind::Memo:
      // Lines are bounded by the form; the control's own limit (32K characters) is not.
      ::SendMessageW(control, EM_SETLIMITTEXT, 0, 0);
      break;
    case ControlKind::Combo:
      ::SetWindowTextW(control, caption.c_str());
      SizeCombo(control);
      break;
    case ControlKind::Panel:
    case ControlKind::GroupBox:
      // The caption is drawn by the container itself.
      ::SetWindowTextW(control, caption.c_str());
      break;
    default:
      break;
  }
  return control;
}

ControlPlace MainWindow::PlaceOf(const ControlLayout& c, HFONT font) const {
  ControlPlace place = PlaceAt(c, dpi_);
  // The combo box's height takes in its dropped list.
  if (c.kind == ControlKind::Combo) place.height += Scaled(kPortListHeight);
  const std::wstring caption = Widen(std::string(c.caption));
  if (c.kind == ControlKind::Label && !caption.empty() && !c.rightAligned) {
    // Labels are as wide as their caption in this system's font, at least as the table has it.
    HDC dc = ::GetDC(window_);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    ::SelectObject(dc, old);
    ::ReleaseDC(window_, dc);
    place.width = std::max(place.width, static_cast<int>(extent.cx));
  }
  return place;
}

void MainWindow::SizeStatusBar(const ControlLayout& c, HFONT font) {
  ::SendMessageW(statusBar_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::SendMessageW(statusBar_, SB_SETMINHEIGHT, static_cast<WPARAM>(Scaled(c.height)), 0);
  int edges[2] = {Scaled(kStatusPanelWidths[0]),
                  Scaled(kStatusPanelWidths[0] + kStatusPanelWidths[1])};
  ::SendMessageW(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  ::SendMessageW(statusBar_, WM_SIZE, 0, 0);
}

void MainWindow::SizeCombo(HWND combo) {
  // 55 pixels hold "COM12" only with the edit's margins taken in.
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (::GetComboBoxInfo(combo, &info) && info.hwndItem != nullptr)
    ::SendMessageW(info.hwndItem, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                   MAKELPARAM(Scaled(1), 0));
  ::SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(Scaled(kPortListWidth)), 0);
}

void MainWindow::FitClient() {
  // The frame need not have the size the system's measure for the DPI gives it (a system that
  // draws it unscaled), nor grow by the same rounding as the client area.
  RECT client;
  ::GetClientRect(window_, &client);
  const int wider = Scaled(kFormWidth) - client.right;
  const int taller = Scaled(kFormHeight) - client.bottom;
  if (wider == 0 && taller == 0) return;
  RECT frame;
  ::GetWindowRect(window_, &frame);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left + wider,
                 frame.bottom - frame.top + taller, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::ChangeDpi(int dpi, const RECT& suggested) {
  if (dpi <= 0) return;
  dpi_ = dpi;
  // Where and how large the system suggests: the window stays on the screen that asked.
  ::SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  FitClient();
  for (const auto& [control, c] : layouts_) {
    HFONT font = Font(c->fontPixels != 0 ? c->fontPixels : kFormFontPixels, c->bold);
    if (c->kind == ControlKind::StatusBar) {
      SizeStatusBar(*c, font);
      continue;
    }
    const ControlPlace place = PlaceOf(*c, font);
    ::SetWindowPos(control, nullptr, place.left, place.top, place.width, place.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    if (c->kind == ControlKind::View) {
      dial_->SetDpi(dpi_);
      continue;
    }
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (c->kind == ControlKind::Combo) {
      // Its rows are measured once by the system: told their new heights.
      ::SendMessageW(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), ComboEditHeight());
      ::SendMessageW(control, CB_SETITEMHEIGHT, 0, ComboRowHeight());
      SizeCombo(control);
    }
  }
  ::InvalidateRect(window_, nullptr, TRUE);
}

HWND MainWindow::Control(std::string_view name) const {
  const auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second;
}

HWND MainWindow::ControlOf(FormControl control) const {
  HWND c = Control(FormControlName(control));
  if (c == nullptr) throw std::logic_error("FormControl without a control");
  return c;
}

const ControlLayout* MainWindow::LayoutByHandle(HWND control) const {
  const auto it = layouts_.find(control);
  return it == layouts_.end() ? nullptr : it->second;
}

std::string MainWindow::Text(FormControl control) const {
  HWND c = ControlOf(control);
  std::wstring text = WindowText(c);
  if (control == FormControl::Memo1) text = FromControlLines(text);
  return Narrow(text);
}

void MainWindow::SetText(FormControl control, const std::string& text) {
  HWND c = ControlOf(control);
  std::wstring t = Widen(text);
  if (control == FormControl::Memo1) t = ToControlLines(t);
  ::SetWindowTextW(c, t.c_str());
}

void MainWindow::SetItems(FormControl control, const std::vector<std::string>& items,
                          const std::vector<std::string>& descriptions) {
  HWND combo = ControlOf(control);
  // Emptying the list empties the edit too; the typed text stays as it was.
  const std::wstring typed = WindowText(combo);
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  portDescriptions_ = descriptions;
  for (const std::string& item : items)
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  ::SetWindowTextW(combo, typed.c_str());
}

std::string MainWindow::DescribePort(const std::string& devicePath) const {
  return DescribeComPort(devicePath);
}

void MainWindow::SetVisible(FormControl control, bool visible) {
  HWND c = ControlOf(control);
  ::ShowWindow(c, visible ? SW_SHOWNA : SW_HIDE);
  // A labeled edit's label goes with it.
  if (HWND label = Control(std::string(FormControlName(control)) + ".EditLabel"))
    ::ShowWindow(label, visible ? SW_SHOWNA : SW_HIDE);
  // A control shown comes in front of its siblings (the connect panel over the console).
  if (visible) ::SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void MainWindow::AddLine(FormControl control, const std::string& line) {
  AppendKeepingView(ControlOf(control), ToControlLines(Widen(line)), ConsoleForm::kMemoLineLimit);
}

void MainWindow::AddLines(FormControl control, std::span<const std::string> lines) {
  if (lines.empty()) return;
  // One text, one append: the edit is cut to its limit, scrolled and redrawn once.
  std::string text = lines.front();
  for (const std::string& line : lines.subspan(1)) {
    text += '\n';
    text += line;
  }
  AddLine(control, text);
}

void MainWindow::SetChecked(FormControl control, bool checked) {
  ::SendMessageW(ControlOf(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string MainWindow::ChooseFolder(const std::string& start) {
  std::string chosen;
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  IFileOpenDialog* dialog = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&dialog)))) {
    DWORD options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    IShellItem* folder = nullptr;
    if (!start.empty() && SUCCEEDED(::SHCreateItemFromParsingName(Widen(start).c_str(), nullptr,
                                                                  IID_PPV_ARGS(&folder)))) {
      dialog->SetFolder(folder);
      folder->Release();
    }
    if (SUCCEEDED(dialog->Show(window_))) {
      IShellItem* result = nullptr;
      if (SUCCEEDED(dialog->GetResult(&result))) {
        PWSTR path = nullptr;
        if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
          chosen = Narrow(path);
          ::CoTaskMemFree(path);
        }
        result->Release();
      }
    }
    dialog->Release();
  }
  if (SUCCEEDED(init)) ::CoUninitialize();
  return chosen;
}

void MainWindow::SetStatus(int panel, const std::string& text) {
  if (statusBar_ == nullptr) return;
  ::SendMessageW(statusBar_, SB_SETTEXTW, static_cast<WPARAM>(panel),
                 reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

std::string MainWindow::StatusText(int panel) const {
  if (statusBar_ == nullptr) return {};
  const auto length =
      LOWORD(::SendMessageW(statusBar_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(panel), 0));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::SendMessageW(statusBar_, SB_GETTEXTW, static_cast<WPARAM>(panel),
                 reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return Narrow(text);
}

void MainWindow::ShowMessage(const std::string& text) {
  ::MessageBoxW(window_, Widen(text).c_str(), kAppName, MB_OK | MB_ICONINFORMATION);
}

bool MainWindow::AskYesNo(const std::string& text) {
  return ::MessageBoxW(window_, Widen(text).c_str(), kAppName, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool MainWindow::WaitWithMessages(int ms, const std::function<bool()>& cancelled) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (cancelled()) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        // The program is ending: leave the message for the loop that ends it.
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return false;
      }
      Dispatch(message);
    }
    if (cancelled()) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    // Sleeps until a message arrives or the time is up.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
  }
}

IAngleView& MainWindow::AngleView() { return *dial_; }

int MainWindow::StartTimer(int ms, std::function<void()> tick) {
  const UINT_PTR id = ++lastTimer_;
  timers_[id] = std::move(tick);
  ::SetTimer(window_, id, static_cast<UINT>(ms), nullptr);
  return static_cast<int>(id);
}

void MainWindow::StopTimer(int id) {
  const auto it = timers_.find(static_cast<UINT_PTR>(id));
  if (it == timers_.end()) return;
  ::KillTimer(window_, it->first);
  timers_.erase(it);
}

void MainWindow::OpenHelp() {
  // A new, independent window per click. Guarded: a help file that cannot be read is
  // reported as the form reports errors, and the window still opens.
  ConsoleForm& form = *form_;
  OpenHelpWindow(
      instance_, window_, helpDir_ + "help.txt", Font(kFormFontPixels, false),
      [&form](const std::exception& e) { form.Guarded([&form, &e] { form.AppException(e); }); },
      dpi_);
}

void MainWindow::CloseWindow() { ::SendMessageW(window_, WM_CLOSE, 0, 0); }

void MainWindow::Closing() {
  if (closed_) return;
  closed_ = true;
  form_->WindowClosing();
  // The window stays until the message loop has ended: a handler still waiting on the stack
  // reads its controls while it unwinds.
  ::ShowWindow(window_, SW_HIDE);
  ::PostQuitMessage(0);
}

int MainWindow::Run(int show) {
  ::ShowWindow(window_, show);
  ::UpdateWindow(window_);
  // The typing starts in the port box, the first control that takes it.
  if (HWND port = Control("ePortNo")) ::SetFocus(port);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(message);
  return static_cast<int>(message.wParam);
}

void MainWindow::Dispatch(MSG& message) {
  // Ctrl+A selects the whole text of the list and of every text field, as in an editor; the
  // system's edits leave it to their window.
  if (message.message == WM_KEYDOWN && message.wParam == 'A' &&
      (::GetKeyState(VK_CONTROL) & 0x8000) != 0 && (::GetKeyState(VK_MENU) & 0x8000) == 0 &&
      IsEdit(message.hwnd)) {
    ::SendMessageW(message.hwnd, EM_SETSEL, 0, -1);
    return;
  }
  // Tab and the arrow keys move between the window's controls, as in a dialog.
  if (window_ != nullptr && ::IsDialogMessageW(window_, &message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

void MainWindow::Click(const ControlLayout& c) {
  if (c.click == nullptr) return;
  const FormClick handler = c.click;
  form_->Guarded([this, handler] { ((*form_).*handler)(); });
}

HBRUSH MainWindow::BackgroundOf(HWND container) const {
  const ControlLayout* c = LayoutByHandle(container);
  if (c != nullptr && c->name == "Panel2") return silver_;
  return ::GetSysColorBrush(COLOR_BTNFACE);
}

void MainWindow::PaintContainer(HWND container, HDC dc) {
  RECT r;
  ::GetClientRect(container, &r);
  ::FillRect(dc, &r, BackgroundOf(container));
  const ControlLayout* c = LayoutByHandle(container);
  if (c == nullptr) return;
  if (c->kind == ControlKind::Panel) {
    ::DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
    return;
  }
  // A group box: an etched frame from the middle of the caption's line down, the caption
  // over its top edge.
  HGDIOBJ old = ::SelectObject(dc, Font(kFormFontPixels, false));
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  RECT frame = r;
  frame.top += metrics.tmHeight / 2;
  ::DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
  const std::wstring caption = Widen(std::string(c->caption));
  if (!caption.empty()) {
    ::SetBkMode(dc, OPAQUE);
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    const std::wstring spaced = L" " + caption + L" ";
    ::TextOutW(dc, Scaled(6), 0, spaced.c_str(), static_cast<int>(spaced.size()));
  }
  ::SelectObject(dc, old);
}

void MainWindow::DrawPortItem(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1)) return;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  HDC dc = item.hDC;
  ::FillRect(dc, &item.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  ::SetBkMode(dc, TRANSPARENT);
  const auto length = ::SendMessageW(item.hwndItem, CB_GETLBTEXTLEN, item.itemID, 0);
  std::wstring name(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
  ::SendMessageW(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(name.data()));
  name.resize(static_cast<size_t>(std::max<LRESULT>(length, 0)));
  RECT r = item.rcItem;
  r.left += Scaled(2);
  ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  ::DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &r,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  // The description beside the name, greyed: the edit still takes only the name.
  if (item.itemID < portDescriptions_.size() && !portDescriptions_[item.itemID].empty()) {
    const std::wstring text = Widen(portDescriptions_[item.itemID]);
    r.left += Scaled(56);
    ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_GRAYTEXT));
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  if ((item.itemState & ODS_FOCUS) != 0) ::DrawFocusRect(dc, &item.rcItem);
}

bool MainWindow::OnControlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_COMMAND: {
      if (HIWORD(wParam) != BN_CLICKED || lParam == 0) return false;
      const ControlLayout* c = LayoutByHandle(reinterpret_cast<HWND>(lParam));
      if (c == nullptr || (c->kind != ControlKind::Button && c->kind != ControlKind::ToggleButton))
        return false;
      Click(*c);
      result = 0;
      return true;
    }
    case WM_CTLCOLORSTATIC: {
      // Labels take the colour of the panel they lie on.
      auto* dc = reinterpret_cast<HDC>(wParam);
      HWND parent = ::GetParent(reinterpret_cast<HWND>(lParam));
      ::SetBkMode(dc, TRANSPARENT);
      const ControlLayout* p = LayoutByHandle(parent);
      ::SetBkColor(dc,
                   p != nullptr && p->name == "Panel2" ? kSilver : ::GetSysColor(COLOR_BTNFACE));
      result = reinterpret_cast<LRESULT>(BackgroundOf(parent));
      return true;
    }
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_COMBOBOX) return false;
      // The edit part keeps the row height of the other edits; list rows a little more room.
      item->itemHeight = static_cast<UINT>(
          item->itemID == static_cast<UINT>(-1) ? ComboEditHeight() : ComboRowHeight());
      result = TRUE;
      return true;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_COMBOBOX) return false;
      DrawPortItem(*item);
      result = TRUE;
      return true;
    }
    default:
      return false;
  }
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (OnControlMessage(message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_TIMER: {
      const auto it = timers_.find(static_cast<UINT_PTR>(wParam));
      if (it == timers_.end()) return 0;
      // A copy: the tick may stop its own timer.
      const std::function<void()> tick = it->second;
      form_->Guarded(tick);
      return 0;
    }
    case WM_CLOSE:
      Closing();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;  // the session may end: the window closes when it does
    case WM_ENDSESSION:
      // The session ends (logout, shutdown): the program may be ended as soon as this
      // returns, so the window closes now, as by its title bar (the recording written and
      // synced, the settings saved).
      if (wParam != FALSE) Closing();
      return 0;
    case WM_SIZE:
      if (statusBar_ != nullptr) ::SendMessageW(statusBar_, WM_SIZE, 0, 0);
      return 0;
    case WM_GETMINMAXINFO: {
      // The whole form at the window's DPI, even where that is larger than the screen: the
      // system would otherwise cut the window to the screen's size.
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      const RECT frame = FrameForClient(Scaled(kFormWidth), Scaled(kFormHeight), kStyle, 0, dpi_);
      limits->ptMaxTrackSize.x = std::max<LONG>(limits->ptMaxTrackSize.x, frame.right - frame.left);
      limits->ptMaxTrackSize.y = std::max<LONG>(limits->ptMaxTrackSize.y, frame.bottom - frame.top);
      return 0;
    }
    case WM_DPICHANGED:
      // Moved to a screen of another DPI (or its scaling changed): laid out again for it.
      ChangeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    default:
      return ::DefWindowProcW(window_, message, wParam, lParam);
  }
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* self = static_cast<MainWindow*>(create->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  // Before the form exists (while the window is made) and after it is gone, only defaults.
  if (self == nullptr ||
      (self->form_ == nullptr && message != WM_CTLCOLORSTATIC && message != WM_MEASUREITEM &&
       message != WM_DRAWITEM && message != WM_GETMINMAXINFO))
    return ::DefWindowProcW(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::ContainerProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  LRESULT result = 0;
  if (self->form_ != nullptr && self->OnControlMessage(message, wParam, lParam, result))
    return result;
  switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
      if (self->OnControlMessage(message, wParam, lParam, result)) return result;
      break;
    case WM_ERASEBKGND:
      return 1;  // the paint covers it
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window, &ps);
      self->PaintContainer(window, dc);
      ::EndPaint(window, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      self->panelPressed_ = true;
      ::SetCapture(window);
      return 0;
    case WM_LBUTTONUP: {
      const bool pressed = self->panelPressed_;
      self->panelPressed_ = false;
      ::ReleaseCapture();
      RECT r;
      ::GetClientRect(window, &r);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      const ControlLayout* c = self->LayoutByHandle(window);
      if (pressed && ::PtInRect(&r, at) && c != nullptr && self->form_ != nullptr) self->Click(*c);
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kelta::win32
