#include <veravo/platform/win/posix/object_wait.h>

#include <chrono>

namespace veravo::win::detail {

DWORD WaitForObjects(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll, DWORD milliseconds,
                     const std::function<bool(const ThreadState&)>& input) {
  using Clock = std::chrono::steady_clock;
  const std::shared_ptr<ThreadState>& self = CurrentThread();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  const DWORD count = static_cast<DWORD>(objects.size());

  std::unique_lock<std::mutex> lock(DispatcherLock());
  bool registered = false;
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    bool satisfied = false;
    if (waitAll) {
      bool all = count > 0;
      for (const auto& object : objects) all = all && object->IsSignalled();
      if (all) {
        for (const auto& object : objects) object->Acquire();
        result = WAIT_OBJECT_0;
        satisfied = true;
      }
    } else {
      for (DWORD i = 0; i < count; ++i) {
        if (objects[i]->IsSignalled()) {
          objects[i]->Acquire();
          result = WAIT_OBJECT_0 + i;
          satisfied = true;
          break;
        }
      }
    }
    if (!satisfied && input && input(*self)) {
      result = WAIT_OBJECT_0 + count;
      satisfied = true;
    }
    if (satisfied) break;
    if (milliseconds != INFINITE && Clock::now() >= deadline) {
      result = WAIT_TIMEOUT;
      break;
    }
    if (!registered) {
      for (const auto& object : objects) object->AddWaiter(self->wake);
      registered = true;
    }
    if (milliseconds == INFINITE) {
      self->wake->wait(lock);
    } else {
      self->wake->wait_until(lock, deadline);
    }
  }
  if (registered) {
    for (const auto& object : objects) object->RemoveWaiter(self->wake);
  }
  return result;
}

}  // namespace veravo::win::detail
