// The status an OVERLAPPED record holds in Internal. As on Windows it is an
// NT status (STATUS_PENDING while the operation runs), so that a record the
// emulated comm layer completed reads the same to the operating system's
// GetOverlappedResult as one of its own.
#pragma once

#include <veravo/platform/win/win_types.h>

namespace veravo::win::detail {

// The NT status of a Win32 error code the comm layer completes with.
ULONG_PTR NtStatusFromError(DWORD error);
// The Win32 error code of such a status; STATUS_PENDING stays as it is.
ULONG_PTR ErrorFromNtStatus(ULONG_PTR status);

}  // namespace veravo::win::detail
