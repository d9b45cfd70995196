// Window classes and windows: registration, creation, destruction, look-up
// and the per-window user data.
#include <strings.h>
#include <unistd.h>
#include <veravo/platform/win/posix/thread_state.h>
#include <veravo/platform/win/posix/window_create.h>
#include <veravo/platform/win/posix/window_registry.h>
#include <veravo/platform/win/win_api.h>

#include <cstdint>
#include <map>

namespace veravo::win {
namespace detail {
namespace {

constexpr DWORD kErrorClassDoesNotExist = 1411;
constexpr DWORD kErrorClassHasWindows = 1412;
constexpr DWORD kErrorInvalidIndex = 1413;

// Class names compare without regard to case, as Windows does.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }
};

struct WindowClass {
  std::string name;
  WNDPROC proc = nullptr;
  ATOM atom = 0;
};

struct Registry {
  std::map<std::string, WindowClass, CaseInsensitiveLess> classes;
  ATOM nextAtom = 0xC000;
  // Keyed by creation order, so that the newest window of a class is found first.
  std::map<std::uintptr_t, std::shared_ptr<Window>> windows;
  std::uintptr_t nextHandle = 0x10010;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed, like the dispatcher lock
  return *registry;
}

// Class names given as atoms (MAKEINTATOM) are small integers.
bool IsAtomName(LPCSTR name) { return reinterpret_cast<std::uintptr_t>(name) < 0x10000; }

const WindowClass* FindClass(LPCSTR name) {
  Registry& registry = TheRegistry();
  if (name == nullptr) return nullptr;
  if (IsAtomName(name)) {
    ATOM atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
    for (const auto& [key, windowClass] : registry.classes) {
      if (windowClass.atom == atom) return &windowClass;
    }
    return nullptr;
  }
  auto it = registry.classes.find(name);
  return it == registry.classes.end() ? nullptr : &it->second;
}

// Drops the sent messages queued to a window that is going away; their
// senders return 0.
void ReleaseSendersOf(const Window& window) {
  auto& incoming = window.owner->incoming;
  for (auto it = incoming.begin(); it != incoming.end();) {
    if ((*it)->window == window.handle) {
      CompleteSentMessage(**it, 0);
      it = incoming.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

std::shared_ptr<Window> FindWindowByHandle(HWND handle) {
  auto& windows = TheRegistry().windows;
  auto it = windows.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == windows.end() ? nullptr : it->second;
}

void ForgetThreadWindows(const ThreadState* owner) {
  auto& windows = TheRegistry().windows;
  for (auto it = windows.begin(); it != windows.end();) {
    if (it->second->owner.get() == owner) {
      ReleaseSendersOf(*it->second);
      it = windows.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace detail

using detail::DispatcherLock;

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
      windowClass->lpszClassName == nullptr || detail::IsAtomName(windowClass->lpszClassName) ||
      windowClass->lpszClassName[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> guard(DispatcherLock());
  detail::Registry& registry = detail::TheRegistry();
  if (registry.classes.count(windowClass->lpszClassName) != 0) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  detail::WindowClass entry{windowClass->lpszClassName, windowClass->lpfnWndProc, registry.nextAtom++};
  registry.classes.emplace(entry.name, entry);
  return entry.atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  std::lock_guard<std::mutex> guard(DispatcherLock());
  detail::Registry& registry = detail::TheRegistry();
  const detail::WindowClass* windowClass = detail::FindClass(className);
  if (windowClass == nullptr) {
    SetLastError(detail::kErrorClassDoesNotExist);
    return FALSE;
  }
  for (const auto& [key, window] : registry.windows) {
    if (strcasecmp(window->className.c_str(), windowClass->name.c_str()) == 0) {
      SetLastError(detail::kErrorClassHasWindows);
      return FALSE;
    }
  }
  registry.classes.erase(windowClass->name);
  return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  auto window = std::make_shared<detail::Window>();
  {
    std::lock_guard<std::mutex> guard(DispatcherLock());
    const detail::WindowClass* windowClass = detail::FindClass(className);
    if (windowClass == nullptr) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    detail::Registry& registry = detail::TheRegistry();
    window->handle = reinterpret_cast<HWND>(registry.nextHandle);
    registry.nextHandle += 2;
    window->className = windowClass->name;
    window->title = windowName ? windowName : "";
    window->proc = windowClass->proc;
    window->owner = detail::CurrentThread();
    registry.windows.emplace(reinterpret_cast<std::uintptr_t>(window->handle), window);
  }
  CREATESTRUCTA create{param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
  if (window->proc(window->handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(window->handle);
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  return window->handle;
}

BOOL DestroyWindow(HWND handle) {
  std::shared_ptr<detail::Window> window;
  {
    std::lock_guard<std::mutex> guard(DispatcherLock());
    window = detail::FindWindowByHandle(handle);
    if (!window) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (window->owner != detail::CurrentThread()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  // The procedure sees WM_DESTROY while the window still exists.
  window->proc(handle, WM_DESTROY, 0, 0);
  std::lock_guard<std::mutex> guard(DispatcherLock());
  if (detail::TheRegistry().windows.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0) {
    detail::ReleaseSendersOf(*window);
  }
  return TRUE;
}

BOOL IsWindow(HWND handle) {
  std::lock_guard<std::mutex> guard(DispatcherLock());
  return detail::FindWindowByHandle(handle) ? TRUE : FALSE;
}

LONG_PTR SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
  std::lock_guard<std::mutex> guard(DispatcherLock());
  auto window = detail::FindWindowByHandle(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (index != GWLP_USERDATA) {
    SetLastError(detail::kErrorInvalidIndex);
    return 0;
  }
  LONG_PTR previous = window->userData;
  window->userData = value;
  return previous;
}

LONG_PTR GetWindowLongPtrA(HWND handle, int index) {
  std::lock_guard<std::mutex> guard(DispatcherLock());
  auto window = detail::FindWindowByHandle(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (index != GWLP_USERDATA) {
    SetLastError(detail::kErrorInvalidIndex);
    return 0;
  }
  return window->userData;
}

DWORD GetWindowThreadProcessId(HWND handle, DWORD* processId) {
  std::lock_guard<std::mutex> guard(DispatcherLock());
  auto window = detail::FindWindowByHandle(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (processId != nullptr) *processId = static_cast<DWORD>(getpid());
  return window->owner->id;
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  std::lock_guard<std::mutex> guard(DispatcherLock());
  detail::Registry& registry = detail::TheRegistry();
  const detail::WindowClass* windowClass = className ? detail::FindClass(className) : nullptr;
  if (className != nullptr && windowClass == nullptr) return nullptr;
  for (auto it = registry.windows.rbegin(); it != registry.windows.rend(); ++it) {
    const detail::Window& window = *it->second;
    if (windowClass != nullptr && strcasecmp(window.className.c_str(), windowClass->name.c_str()) != 0)
      continue;
    if (windowName != nullptr && strcasecmp(window.title.c_str(), windowName) != 0) continue;
    return window.handle;
  }
  return nullptr;
}

}  // namespace veravo::win
