#include <veravo/platform/win/handle_table.h>
#include <veravo/platform/win/kernel_object.h>
#include <veravo/platform/win/posix/thread_state.h>
#include <veravo/platform/win/win_api.h>

#include <mutex>
#include <system_error>
#include <thread>

namespace veravo::win {

namespace {

// A thread handle that owns its thread. The handle is signalled when the
// thread's start routine has returned, a moment before the thread is gone;
// closing a handle that is signalled waits for that moment, so that the
// thread's stack and its C library allocation arena are free again before
// the closer goes on (a port opened and closed in a loop would otherwise
// start its threads beside the ones still leaving, and the process grow).
// A handle closed while its thread runs lets the thread go on by itself.
class OwnedThreadObject final : public detail::ThreadObject {
 public:
  ~OwnedThreadObject() override {
    if (thread_.joinable()) thread_.detach();  // the last reference may be the thread's own
  }

  void Adopt(std::thread thread) {
    std::lock_guard<std::mutex> guard(lock_);
    thread_ = std::move(thread);
  }

  void Close() override {
    bool ended = false;
    {
      std::lock_guard<std::mutex> guard(detail::DispatcherLock());
      ended = IsSignalled();
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!thread_.joinable()) return;
    if (ended && thread_.get_id() != std::this_thread::get_id()) {
      thread_.join();
    } else {
      thread_.detach();
    }
  }

 private:
  std::mutex lock_;
  std::thread thread_;
};

}  // namespace

HANDLE BeginThread(ThreadStart start, void* argument) {
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = std::make_shared<OwnedThreadObject>();
  try {
    object->Adopt(std::thread([start, argument, object] {
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
    }));
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return detail::InsertHandle(object);
}

DWORD GetCurrentThreadId() { return detail::CurrentThread()->id; }

}  // namespace veravo::win
