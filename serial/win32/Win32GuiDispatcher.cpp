#include "serial/win32/Win32GuiDispatcher.h"

#include <windows.h>

#include <stdexcept>
#include <system_error>

namespace kelta {

namespace {

constexpr wchar_t kClassName[] = L"KeltaVaCommDispatcher";

LRESULT CALLBACK DispatcherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NULL) {
    auto* dispatcher =
        reinterpret_cast<TVaWin32Dispatcher*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (dispatcher) dispatcher->RunQueued();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void RegisterWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DispatcherWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "RegisterClassExW");
  }
}

}  // namespace

TVaWin32Dispatcher::TVaWin32Dispatcher()
    : guiThread_(std::this_thread::get_id()), queue_([this] {
        if (!::PostMessageW(static_cast<HWND>(window_), WM_NULL, 0, 0)) {
          throw std::runtime_error("The GUI thread cannot be reached (PostMessage failed)");
        }
      }) {
  RegisterWindowClass();
  const HWND window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr);
  if (!window) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateWindowExW");
  }
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  window_ = window;
}

TVaWin32Dispatcher::~TVaWin32Dispatcher() {
  const HWND window = static_cast<HWND>(window_);
  ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  ::DestroyWindow(window);
}

void TVaWin32Dispatcher::Call(const std::function<void()>& fn) {
  if (std::this_thread::get_id() == guiThread_) {
    fn();
    return;
  }
  queue_.Call(fn);
}

void TVaWin32Dispatcher::RunQueued() {
  queue_.BeginRun();
  while (queue_.RunOne()) {
  }
}

bool TVaWin32Dispatcher::PumpMessages(const std::function<bool()>& done,
                                      std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    MSG message;
    if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
      continue;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return done();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
  }
  return true;
}

}  // namespace kelta
