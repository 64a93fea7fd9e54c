#include "console/win32/HelpWindow.h"

#include "console/form/LayoutScale.h"
#include "console/win32/Utf16.h"
#include "console/win32/WindowDpi.h"

#include <algorithm>
#include <stdexcept>

namespace kelta::win32 {

namespace {

constexpr const wchar_t* kHelpClass = L"TfHelp";
constexpr int kHelpWidth = 710;
constexpr int kHelpHeight = 521;

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring message = n > 0 ? std::wstring(text, n) : L"Error " + std::to_wstring(error);
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
    message.pop_back();
  return Narrow(message);
}

LRESULT CALLBACK HelpProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CTLCOLORSTATIC) {
    // The read-only list keeps a window's white, as the Qt one does.
    ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::wstring ReadHelpText(const std::string& path, size_t limit) {
  HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw std::runtime_error("Cannot open file \"" + path + "\". " +
                             SystemMessage(::GetLastError()));
  // Only a regular file: a device in its place could feed the window without end.
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    throw std::runtime_error("Cannot open file \"" + path + "\". Not a regular file");
  }
  std::string bytes;
  char buffer[65536];
  // One byte beyond the limit tells a file of exactly `limit` bytes from a longer one.
  while (bytes.size() <= limit) {
    const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, limit + 1 - bytes.size()));
    DWORD got = 0;
    if (!::ReadFile(file, buffer, want, &got, nullptr)) {
      const DWORD error = ::GetLastError();
      ::CloseHandle(file);
      throw std::runtime_error("Cannot read file \"" + path + "\". " + SystemMessage(error));
    }
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  ::CloseHandle(file);
  const bool cut = bytes.size() > limit;
  if (cut) {
    // End on a whole line where there is one, so no character is split either.
    const size_t lastBreak = limit > 0 ? bytes.rfind('\n', limit - 1) : std::string::npos;
    bytes.resize(lastBreak == std::string::npos ? limit : lastBreak + 1);
  }
  std::wstring text = FromControlLines(Widen(bytes));
  if (cut) {
    if (text.empty() || text.back() != L'\n') text += L'\n';
    text += L"[help.txt is longer: only its first " + std::to_wstring(bytes.size()) +
            L" bytes are shown]";
  }
  return ToControlLines(text);
}

HWND OpenHelpWindow(HINSTANCE instance, HWND owner, const std::string& path, HFONT font,
                    const std::function<void(const std::exception&)>& onError, int dpi) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!::GetClassInfoExW(instance, kHelpClass, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &HelpProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kHelpClass;
    ::RegisterClassExW(&wc);
  }
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const int clientWidth = ScaleToDpi(kHelpWidth, dpi);
  const int clientHeight = ScaleToDpi(kHelpHeight, dpi);
  const RECT frame = FrameForClient(clientWidth, clientHeight, style, 0, dpi);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{0, 0, width, height};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  HWND window =
      ::CreateWindowExW(0, kHelpClass, L"Help", style,
                        work.left + std::max<LONG>(0, (work.right - work.left - width) / 2),
                        work.top + std::max<LONG>(0, (work.bottom - work.top - height) / 2), width,
                        height, owner, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  // The frame as this system draws it at the DPI may differ from its measure: the client area
  // is made the laid-out one.
  RECT client;
  ::GetClientRect(window, &client);
  if (client.right != clientWidth || client.bottom != clientHeight)
    ::SetWindowPos(window, nullptr, 0, 0, width + clientWidth - client.right,
                   height + clientHeight - client.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // 3 pixels wider than the client area, as the window was laid out.
  HWND text = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                    ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                0, 0, clientWidth + ScaleToDpi(3, dpi), clientHeight, window,
                                nullptr, instance, nullptr);
  ::SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::SendMessageW(text, EM_SETLIMITTEXT, 0, 0);
  try {
    ::SetWindowTextW(text, ReadHelpText(path).c_str());
  } catch (const std::exception& e) {
    onError(e);
  }
  ::ShowWindow(window, SW_SHOW);
  return window;
}

}  // namespace kelta::win32
