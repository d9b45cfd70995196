// The one wait loop behind WaitForSingleObject, WaitForMultipleObjects,
// MsgWaitForMultipleObjects and the emulation's own blocking calls.
#pragma once

#include <veravo/platform/win/kernel_object.h>
#include <veravo/platform/win/posix/thread_state.h>
#include <veravo/platform/win/win_types.h>

#include <functional>
#include <memory>
#include <vector>

namespace veravo::win::detail {

// Blocks the calling thread until one (waitAll false: the lowest signalled
// index) or all (waitAll true, taken atomically) of `objects` are signalled,
// `milliseconds` pass (INFINITE: never), or `input` — checked under
// DispatcherLock — returns true. Returns WAIT_OBJECT_0 + index,
// WAIT_OBJECT_0 + objects.size() for input, or WAIT_TIMEOUT. Signals of
// auto-reset objects are consumed only by the waiter they satisfy.
DWORD WaitForObjects(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll, DWORD milliseconds,
                     const std::function<bool(const ThreadState&)>& input);

}  // namespace veravo::win::detail
