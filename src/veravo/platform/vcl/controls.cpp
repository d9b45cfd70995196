#include <veravo/platform/vcl/controls.h>
#include <veravo/platform/vcl/exception.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

namespace veravo {

namespace {

// Registers the window class of a control class once per process.
void EnsureWindowClass(const char* className, win::WNDPROC procedure) {
  static std::mutex mutex;
  static std::set<std::string> registered;
  std::lock_guard<std::mutex> lock(mutex);
  if (registered.count(className)) return;
  win::WNDCLASSA wc{};
  wc.lpfnWndProc = procedure;
  wc.lpszClassName = className;
  if (win::RegisterClassA(&wc) == 0 && win::GetLastError() != win::ERROR_CLASS_ALREADY_EXISTS) {
    throw EInvalidOperation("Cannot register window class " + AnsiString(className));
  }
  registered.insert(className);
}

}  // namespace

TWinControl::~TWinControl() { DestroyHandle(); }

win::HWND TWinControl::Handle() {
  if (!handle_) {
    EnsureWindowClass(ClassName(), &TWinControl::WindowProc);
    win::HWND window =
        win::CreateWindowExA(0, ClassName(), "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!window) throw EInvalidOperation("Cannot create a window of class " + AnsiString(ClassName()));
    win::SetWindowLongPtrA(window, win::GWLP_USERDATA, reinterpret_cast<win::LONG_PTR>(this));
    handle_ = window;
  }
  return handle_;
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  win::SetWindowLongPtrA(handle_, win::GWLP_USERDATA, 0);
  win::DestroyWindow(handle_);
  handle_ = nullptr;
}

void TWinControl::Dispatch(void* message) {
  auto* m = static_cast<TMessage*>(message);
  if (m->Msg == win::WM_SETTEXT) {
    SetText(AnsiString(reinterpret_cast<const char*>(m->LParam)));
    m->Result = win::TRUE;
    return;
  }
  if (m->Msg == win::WM_GETTEXT) {
    // wParam is the buffer size including the terminating zero.
    auto* out = reinterpret_cast<char*>(m->LParam);
    std::size_t size = static_cast<std::size_t>(m->WParam);
    AnsiString text = GetText();
    std::size_t n = 0;
    if (out && size > 0) {
      n = std::min(size - 1, static_cast<std::size_t>(text.Length()));
      std::memcpy(out, text.c_str(), n);
      out[n] = '\0';
    }
    m->Result = static_cast<win::LRESULT>(n);
    return;
  }
  TControl::Dispatch(message);
}

win::LRESULT TWinControl::WindowProc(win::HWND window, win::UINT message, win::WPARAM wParam,
                                     win::LPARAM lParam) {
  auto* control = reinterpret_cast<TWinControl*>(win::GetWindowLongPtrA(window, win::GWLP_USERDATA));
  if (!control) return win::DefWindowProcA(window, message, wParam, lParam);
  TMessage m{message, wParam, lParam, 0};
  control->Dispatch(&m);
  return m.Result;
}

}  // namespace veravo
