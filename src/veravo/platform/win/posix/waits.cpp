#include <veravo/platform/win/handle_table.h>
#include <veravo/platform/win/posix/object_wait.h>
#include <veravo/platform/win/win_api.h>

namespace veravo::win {
namespace {

constexpr DWORD kQueuedPostMask = QS_POSTMESSAGE | 0x0100;  // QS_POSTMESSAGE | QS_ALLPOSTMESSAGE

// Resolves the handles of a wait; fails (WAIT_FAILED with the last error set)
// for a bad count, a handle that is not waitable, or an object named twice
// in a wait-all.
bool CollectWaitables(DWORD count, const HANDLE* handles, bool waitAll, bool allowEmpty,
                      std::vector<std::shared_ptr<detail::Waitable>>* objects) {
  if ((count == 0 && !allowEmpty) || count > MAXIMUM_WAIT_OBJECTS || (count > 0 && handles == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  for (DWORD i = 0; i < count; ++i) {
    auto object = detail::LookupHandleAs<detail::Waitable>(handles[i]);
    if (!object) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    if (waitAll) {
      for (const auto& earlier : *objects) {
        if (earlier == object) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return false;
        }
      }
    }
    objects->push_back(std::move(object));
  }
  return true;
}

}  // namespace

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  std::vector<std::shared_ptr<detail::Waitable>> objects;
  if (!CollectWaitables(count, handles, waitAll != FALSE, false, &objects)) return WAIT_FAILED;
  return detail::WaitForObjects(objects, waitAll != FALSE, milliseconds, nullptr);
}

// With waitAll, the wait ends when all objects are signalled or when a
// message arrives, whichever comes first.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                DWORD wakeMask) {
  std::vector<std::shared_ptr<detail::Waitable>> objects;
  if (!CollectWaitables(count, handles, waitAll != FALSE, true, &objects)) return WAIT_FAILED;
  auto input = [wakeMask](const detail::ThreadState& self) {
    // A sent message waits to be handled for as long as it is queued; a
    // posted one counts only when new since the queue was last looked at.
    return ((wakeMask & QS_SENDMESSAGE) != 0 && !self.incoming.empty()) ||
           ((wakeMask & kQueuedPostMask) != 0 && self.newPosted);
  };
  return detail::WaitForObjects(objects, waitAll != FALSE, milliseconds, input);
}

}  // namespace veravo::win
