#include "serial/win32/Win32GuiDispatcher.h"

#include <windows.h>

#include <stdexcept>
#include <system_error>

#include "serial/HandOffQueue.h"

namespace kelta {

namespace {

constexpr wchar_t kClassName[] = L"KeltaVaCommDispatcher";
// Posted by a dispatcher let go of on another thread: the window and its line end here.
constexpr UINT kRetireMessage = WM_APP + 1;

}  // namespace

// The waiting line and the window the wakes go to. It belongs to the GUI thread and is freed
// there: a wake may still be dispatched (or being dispatched) when a worker drops the last
// reference to the dispatcher.
struct Win32Dispatcher::Core {
  HWND window = nullptr;
  HandOffQueue queue{[this] {
    if (!::PostMessageW(window, WM_NULL, 0, 0)) {
      throw std::runtime_error("The GUI thread cannot be reached (PostMessage failed)");
    }
  }};

  void RunQueued() {
    queue.BeginRun();
    while (queue.RunOne()) {
    }
  }
  // On the GUI thread only.
  void Retire() {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
    delete this;
  }
};

namespace {

LRESULT CALLBACK DispatcherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NULL || message == kRetireMessage) {
    auto* core =
        reinterpret_cast<Win32Dispatcher::Core*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (core && message == WM_NULL) core->RunQueued();
    if (core && message == kRetireMessage) core->Retire();
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

Win32Dispatcher::Win32Dispatcher() : guiThread_(std::this_thread::get_id()) {
  RegisterWindowClass();
  const HWND window = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr);
  if (!window) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateWindowExW");
  }
  core_ = new Core;
  core_->window = window;
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(core_));
}

Win32Dispatcher::~Win32Dispatcher() {
  // Nobody can queue a call any more, but the GUI thread may still be finishing the wake that
  // ran the last one. Off the GUI thread the core is retired by a message behind it; when that
  // thread's queue is gone the core is left rather than freed under it.
  if (std::this_thread::get_id() == guiThread_) {
    core_->Retire();
  } else {
    ::PostMessageW(core_->window, kRetireMessage, 0, 0);
  }
}

void Win32Dispatcher::Call(const std::function<void()>& fn) {
  if (std::this_thread::get_id() == guiThread_) {
    fn();
    return;
  }
  core_->queue.Call(fn);
}

bool Win32Dispatcher::PumpMessages(const std::function<bool()>& done,
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
