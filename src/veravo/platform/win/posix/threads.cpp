#include <veravo/platform/win/handle_table.h>
#include <veravo/platform/win/kernel_object.h>
#include <veravo/platform/win/posix/thread_state.h>
#include <veravo/platform/win/win_api.h>

#include <system_error>
#include <thread>

namespace veravo::win {

HANDLE BeginThread(ThreadStart start, void* argument) {
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = std::make_shared<detail::ThreadObject>();
  try {
    std::thread([start, argument, object] {
      start(argument);
      // Release the thread's windows and blocked senders before anyone who
      // waits for the thread handle runs on.
      detail::EndCurrentThread();
      detail::PendingWakes wakes;
      {
        std::lock_guard<std::mutex> guard(detail::DispatcherLock());
        object->Signal(wakes);
      }
      wakes.WakeAll();
    }).detach();
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return detail::InsertHandle(object);
}

DWORD GetCurrentThreadId() { return detail::CurrentThread()->id; }

}  // namespace veravo::win
