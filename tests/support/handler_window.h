// Test windows whose procedure hands every message to a std::function kept
// in the window's user data (messages before it is set, and windows with an
// empty handler, get the default procedure).
#pragma once

#include <veravo/platform/win/win.h>

#include <functional>

namespace veravo::test {

using WindowHandler = std::function<win::LRESULT(win::HWND, win::UINT, win::WPARAM, win::LPARAM)>;

inline win::LRESULT ForwardToHandler(win::HWND window, win::UINT message, win::WPARAM wParam,
                                     win::LPARAM lParam) {
  auto* handler = reinterpret_cast<WindowHandler*>(win::GetWindowLongPtrA(window, win::GWLP_USERDATA));
  if (handler != nullptr && *handler) return (*handler)(window, message, wParam, lParam);
  return win::DefWindowProcA(window, message, wParam, lParam);
}

// A window of `className` (registered on first use) owned by the calling
// thread; `handler` must outlive it.
inline win::HWND HandlerWindow(const char* className, WindowHandler* handler, const char* title = "") {
  win::WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ForwardToHandler;
  windowClass.lpszClassName = className;
  win::RegisterClassA(&windowClass);  // fails when registered already
  win::HWND window =
      win::CreateWindowExA(0, className, title, 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  if (window != nullptr) {
    win::SetWindowLongPtrA(window, win::GWLP_USERDATA, reinterpret_cast<win::LONG_PTR>(handler));
  }
  return window;
}

}  // namespace veravo::test
