#include <veravo/platform/win/event_handles.h>
#include <veravo/platform/win/handle_table.h>
#include <veravo/platform/win/kernel_object.h>
#include <veravo/platform/win/win_api.h>

namespace veravo::win {
namespace detail {

namespace {

// Threads released by this thread's deferred signals, not yet woken.
thread_local PendingWakes deferredWakes;

}  // namespace

bool SignalEventHandleDeferred(HANDLE event) {
  auto object = LookupHandleAs<EventObject>(event);
  if (!object) return false;
  std::lock_guard<std::mutex> guard(DispatcherLock());
  object->Signal(deferredWakes);
  return true;
}

void WakeDeferred() { deferredWakes.WakeAll(); }

bool SignalEventHandle(HANDLE event) {
  const bool known = SignalEventHandleDeferred(event);
  WakeDeferred();
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
