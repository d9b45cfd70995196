#include <veravo/platform/win/event_handles.h>
#include <veravo/platform/win/handle_table.h>
#include <veravo/platform/win/kernel_object.h>
#include <veravo/platform/win/win_api.h>

namespace veravo::win {
namespace detail {

namespace {

// Threads released by this thread's deferred signals, not yet woken. A
// thread's thread-local objects are destroyed before its last code runs (for
// the main thread, before the static objects): a signal made after that, by
// a static object closing a port at exit, wakes its threads at once instead.
thread_local bool deferredGone = false;  // trivially destroyed: readable to the end
struct DeferredWakes {
  PendingWakes wakes;
  ~DeferredWakes() {
    wakes.WakeAll();
    deferredGone = true;
  }
};
thread_local DeferredWakes deferred;

bool Signal(HANDLE event, PendingWakes& wakes) {
  auto object = LookupHandleAs<EventObject>(event);
  if (!object) return false;
  std::lock_guard<std::mutex> guard(DispatcherLock());
  object->Signal(wakes);
  return true;
}

}  // namespace

bool SignalEventHandleDeferred(HANDLE event) {
  if (!deferredGone) return Signal(event, deferred.wakes);
  return SignalEventHandle(event);
}

void WakeDeferred() {
  if (!deferredGone) deferred.wakes.WakeAll();
}

bool SignalEventHandle(HANDLE event) {
  PendingWakes wakes;
  const bool known = Signal(event, wakes);
  wakes.WakeAll();
  return known;
}

bool ResetEventHandle(HANDLE event) {
  auto object = LookupHandleAs<EventObject>(event);
  if (!object) return false;
  std::lock_guard<std::mutex> guard(DispatcherLock());
  object->Reset();
  return true;
}

}  // namespace detail

// Named events are not shared between processes here: the name is ignored.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
  return detail::InsertHandle(
      std::make_shared<detail::EventObject>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
  if (detail::SignalEventHandle(event)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL ResetEvent(HANDLE event) {
  if (detail::ResetEventHandle(event)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

}  // namespace veravo::win
