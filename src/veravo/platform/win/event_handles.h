// Signalling events by handle from inside the emulation, without touching
// the calling thread's last error (completions run on device threads).
#pragma once

#include <veravo/platform/win/win_types.h>

namespace veravo::win::detail {

bool SignalEventHandle(HANDLE event);
bool ResetEventHandle(HANDLE event);

}  // namespace veravo::win::detail
