// The error a failed call left behind, or 0 when it succeeded: a failure and
// its code are checked in one expectation.
#pragma once

#include <veravo/platform/win/win.h>

namespace veravo::win::testing {

inline DWORD ErrorOf(BOOL ok) { return ok ? 0 : GetLastError(); }

}  // namespace veravo::win::testing
