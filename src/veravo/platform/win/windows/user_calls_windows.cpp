// The USER32 subset on Windows: the real windows and message queues.
//
// Window procedures of this library are plain C++ functions (the calling
// convention of the emulation's WNDPROC), so every class is registered with
// one system window procedure that finds the class's procedure by its atom
// and calls it. An exception thrown by a procedure must not unwind through
// the system's frames: it is caught there, kept for the thread, and thrown
// again when the call that led into the procedure (SendMessageA,
// DispatchMessageA, PeekMessageA, GetMessageA, CreateWindowExA,
// DestroyWindow) returns — where the emulation throws it too.
#include <veravo/platform/win/win_api.h>
// After the emulation's headers: see native_calls_windows.cpp.
#include <windows.h>

// On 32-bit Windows the ...LongPtr calls are macros naming the ...Long ones;
// this file defines functions of those names, so the macros must go.
#ifndef _WIN64
#undef SetWindowLongPtrA
#undef GetWindowLongPtrA
#endif

#include <exception>
#include <map>
#include <mutex>

namespace veravo::win {
namespace {

static_assert(sizeof(MSG) == sizeof(::MSG));
static_assert(offsetof(MSG, time) == offsetof(::MSG, time));

std::mutex& ClassLock() {
  static std::mutex lock;
  return lock;
}
std::map<::ATOM, WNDPROC>& ClassProcedures() {
  static auto* procedures = new std::map<::ATOM, WNDPROC>;  // never destroyed
  return *procedures;
}

// What a window procedure threw, until the call that led into it returns.
// A plain pointer: a thread_local with a destructor would be destroyed by
// the runtime's thread-exit code, which on this platform may run it on
// storage that is already gone (threads of BeginThread end through the C
// runtime, not through the C++ thread library).
thread_local std::exception_ptr* pendingException = nullptr;

::HWND Native(HWND window) { return reinterpret_cast<::HWND>(window); }
HWND Ours(::HWND window) { return reinterpret_cast<HWND>(window); }
::HINSTANCE Instance(HINSTANCE instance) {
  return instance != nullptr ? reinterpret_cast<::HINSTANCE>(instance) : ::GetModuleHandleA(nullptr);
}

// Throws what a window procedure threw during the call that just returned.
template <class T>
T Rethrow(T result) {
  if (pendingException != nullptr) {
    std::exception_ptr thrown = std::move(*pendingException);
    delete pendingException;
    pendingException = nullptr;
    std::rethrow_exception(thrown);
  }
  return result;
}

::LRESULT CALLBACK ClassProcedure(::HWND window, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
  auto atom = static_cast<::ATOM>(::GetClassLongPtrA(window, GCW_ATOM));
  WNDPROC procedure = nullptr;
  {
    std::lock_guard<std::mutex> guard(ClassLock());
    auto it = ClassProcedures().find(atom);
    if (it != ClassProcedures().end()) procedure = it->second;
  }
  if (procedure == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
  try {
    return procedure(Ours(window), message, wParam, lParam);
  } catch (...) {
    if (pendingException == nullptr) pendingException = new std::exception_ptr(std::current_exception());
    return 0;
  }
}

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpszClassName == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ::WNDCLASSA real{};
  real.style = windowClass->style;
  real.lpfnWndProc = ClassProcedure;
  real.cbClsExtra = windowClass->cbClsExtra;
  real.cbWndExtra = windowClass->cbWndExtra;
  real.hInstance = Instance(windowClass->hInstance);
  real.lpszMenuName = windowClass->lpszMenuName;
  real.lpszClassName = windowClass->lpszClassName;
  std::lock_guard<std::mutex> guard(ClassLock());
  ::ATOM atom = ::RegisterClassA(&real);
  if (atom != 0) ClassProcedures()[atom] = windowClass->lpfnWndProc;
  return atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
  ::WNDCLASSEXA info{};
  info.cbSize = sizeof info;
  std::lock_guard<std::mutex> guard(ClassLock());
  ::ATOM atom = static_cast<::ATOM>(::GetClassInfoExA(Instance(instance), className, &info));
  BOOL done = ::UnregisterClassA(className, Instance(instance));
  if (done && atom != 0) ClassProcedures().erase(atom);
  return done;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  ::HWND window =
      ::CreateWindowExA(exStyle, className, windowName, style, x, y, width, height, Native(parent),
                        reinterpret_cast<::HMENU>(menu), Instance(instance), param);
  return Rethrow(Ours(window));
}

BOOL DestroyWindow(HWND window) { return Rethrow(::DestroyWindow(Native(window))); }
BOOL IsWindow(HWND window) { return ::IsWindow(Native(window)); }
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
#ifdef _WIN64
  return ::SetWindowLongPtrA(Native(window), index, value);
#else
  return ::SetWindowLongA(Native(window), index, value);
#endif
}
LONG_PTR GetWindowLongPtrA(HWND window, int index) {
#ifdef _WIN64
  return ::GetWindowLongPtrA(Native(window), index);
#else
  return ::GetWindowLongA(Native(window), index);
#endif
}
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
  return ::GetWindowThreadProcessId(Native(window), reinterpret_cast<::DWORD*>(processId));
}
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcA(Native(window), message, wParam, lParam);
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) { return Ours(::FindWindowA(className, windowName)); }
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Rethrow(::SendMessageA(Native(window), message, wParam, lParam));
}
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(Native(window), message, wParam, lParam);
}
BOOL InSendMessage() { return ::InSendMessage(); }
BOOL ReplyMessage(LRESULT result) { return ::ReplyMessage(result); }
BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
  return Rethrow(::PeekMessageA(reinterpret_cast<::MSG*>(msg), Native(window), filterMin, filterMax, remove));
}
BOOL GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
  return Rethrow(::GetMessageA(reinterpret_cast<::MSG*>(msg), Native(window), filterMin, filterMax));
}
LRESULT DispatchMessageA(const MSG* msg) {
  return Rethrow(::DispatchMessageA(reinterpret_cast<const ::MSG*>(msg)));
}

}  // namespace veravo::win
