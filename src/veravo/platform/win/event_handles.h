// Signalling events by handle from inside the emulation, without touching
// the calling thread's last error (completions run on device threads).
#pragma once

#include <veravo/platform/win/win_types.h>

namespace veravo::win::detail {

bool SignalEventHandle(HANDLE event);
// Signals `event` at once but leaves waking the threads it releases to the
// next WakeDeferred on this thread. A caller holding a lock those threads
// need next signals this way and calls WakeDeferred after unlocking; several
// events signalled in one go then wake a thread waiting for any of them
// once, with all of them signalled.
bool SignalEventHandleDeferred(HANDLE event);
void WakeDeferred();
bool ResetEventHandle(HANDLE event);

}  // namespace veravo::win::detail
