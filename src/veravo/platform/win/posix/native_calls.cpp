// On POSIX every handle is the emulation's own: CreateFileA on a name that
// is not a virtual one opens a termios device behind the emulated comm
// layer, and a call on a handle the table does not know fails.
#include <veravo/platform/win/comm_handle.h>
#include <veravo/platform/win/native_calls.h>
#include <veravo/platform/win/nt_status.h>
#include <veravo/platform/win/posix/com_port_names.h>
#include <veravo/platform/win/posix/termios_comm_driver.h>
#include <veravo/platform/win/win_api.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace veravo::win {
namespace {

BOOL UnknownHandle() {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

}  // namespace

namespace detail {

HANDLE NewHandleValue() {
  // Multiples of 4, as on Windows, starting well away from null and
  // INVALID_HANDLE_VALUE; a value is never handed out twice, so a closed
  // handle keeps failing with ERROR_INVALID_HANDLE.
  static std::atomic<std::uintptr_t> next{0x1000};
  return reinterpret_cast<HANDLE>(next.fetch_add(4));
}

void ReleaseHandleValue(HANDLE) {}

}  // namespace detail

namespace native {

HANDLE CreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  std::optional<std::string> path = detail::ResolveCommDevicePath(name);
  if (!path) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::unique_ptr<CommDriver> driver;
  if (DWORD error = detail::OpenTermiosCommDriver(*path, &driver); error != ERROR_SUCCESS) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return OpenCommHandle(std::move(driver));
}

BOOL CloseHandle(HANDLE) { return UnknownHandle(); }
BOOL GetCommState(HANDLE, DCB*) { return UnknownHandle(); }
BOOL SetCommState(HANDLE, DCB*) { return UnknownHandle(); }
BOOL GetCommTimeouts(HANDLE, COMMTIMEOUTS*) { return UnknownHandle(); }
BOOL SetCommTimeouts(HANDLE, COMMTIMEOUTS*) { return UnknownHandle(); }
BOOL SetupComm(HANDLE, DWORD, DWORD) { return UnknownHandle(); }
BOOL SetCommMask(HANDLE, DWORD) { return UnknownHandle(); }
BOOL GetCommMask(HANDLE, DWORD*) { return UnknownHandle(); }
BOOL WaitCommEvent(HANDLE, DWORD*, OVERLAPPED*) { return UnknownHandle(); }
BOOL ReadFile(HANDLE, LPVOID, DWORD, DWORD*, OVERLAPPED*) { return UnknownHandle(); }
BOOL WriteFile(HANDLE, LPCVOID, DWORD, DWORD*, OVERLAPPED*) { return UnknownHandle(); }
BOOL ClearCommError(HANDLE, DWORD*, COMSTAT*) { return UnknownHandle(); }
BOOL PurgeComm(HANDLE, DWORD) { return UnknownHandle(); }
BOOL GetCommModemStatus(HANDLE, DWORD*) { return UnknownHandle(); }
BOOL SetCommBreak(HANDLE) { return UnknownHandle(); }
BOOL ClearCommBreak(HANDLE) { return UnknownHandle(); }

// The handle is gone (or never was): a completed record still tells its
// result, a pending one cannot complete any more.
BOOL GetOverlappedResult(HANDLE, OVERLAPPED* overlapped, DWORD* transferred, BOOL) {
  if (overlapped->Internal == STATUS_PENDING) return UnknownHandle();
  if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal != 0) {
    SetLastError(static_cast<DWORD>(detail::ErrorFromNtStatus(overlapped->Internal)));
    return FALSE;
  }
  return TRUE;
}

}  // namespace native
}  // namespace veravo::win
