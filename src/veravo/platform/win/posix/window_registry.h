// The process-wide registry of window classes and windows. Guarded by
// DispatcherLock like the message queues it works with.
#pragma once

#include <veravo/platform/win/posix/thread_state.h>
#include <veravo/platform/win/win_types.h>

#include <memory>
#include <string>

namespace veravo::win::detail {

struct Window {
  HWND handle = nullptr;
  std::string className;  // as registered
  std::string title;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  std::shared_ptr<ThreadState> owner;
};

// The window of a handle, or null. Under DispatcherLock.
std::shared_ptr<Window> FindWindowByHandle(HWND handle);

// Removes the windows of a thread that has ended, releasing the senders
// still waiting on them. Under DispatcherLock.
void ForgetThreadWindows(const ThreadState* owner);

}  // namespace veravo::win::detail
