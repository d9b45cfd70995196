// On Windows a handle the emulation's table does not know is a real one:
// the comm calls go to KERNEL32 unchanged. The emulation's records (DCB,
// COMMTIMEOUTS, COMSTAT, OVERLAPPED) have the Win32 layout, checked below,
// so they are passed through as they are.
#include <veravo/platform/win/native_calls.h>
#include <veravo/platform/win/win_api.h>
// windows.h comes after the emulation's headers: its macros (TRUE, the
// ERROR_ codes) must not rewrite the emulation's own constants.
#include <windows.h>

#include <cstddef>

namespace veravo::win {
namespace {

static_assert(sizeof(DCB) == sizeof(::DCB));
static_assert(offsetof(DCB, XonLim) == offsetof(::DCB, XonLim));
static_assert(offsetof(DCB, EvtChar) == offsetof(::DCB, EvtChar));
static_assert(sizeof(COMMTIMEOUTS) == sizeof(::COMMTIMEOUTS));
static_assert(sizeof(COMSTAT) == sizeof(::COMSTAT));
static_assert(sizeof(OVERLAPPED) == sizeof(::OVERLAPPED));
static_assert(offsetof(OVERLAPPED, hEvent) == offsetof(::OVERLAPPED, hEvent));
static_assert(sizeof(DWORD) == sizeof(::DWORD));

::DWORD* Native(DWORD* value) { return reinterpret_cast<::DWORD*>(value); }
::OVERLAPPED* Native(OVERLAPPED* value) { return reinterpret_cast<::OVERLAPPED*>(value); }
::DCB* Native(DCB* value) { return reinterpret_cast<::DCB*>(value); }
::COMMTIMEOUTS* Native(COMMTIMEOUTS* value) { return reinterpret_cast<::COMMTIMEOUTS*>(value); }
::COMSTAT* Native(COMSTAT* value) { return reinterpret_cast<::COMSTAT*>(value); }
::LPSECURITY_ATTRIBUTES Native(LPSECURITY_ATTRIBUTES value) {
  return reinterpret_cast<::LPSECURITY_ATTRIBUTES>(value);
}

}  // namespace

namespace detail {

// A value the system holds for us (an event nobody waits for), so that it
// can never equal one of the system's live handles.
HANDLE NewHandleValue() { return ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }

void ReleaseHandleValue(HANDLE value) { ::CloseHandle(value); }

}  // namespace detail

namespace native {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD creation,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  return ::CreateFileA(name, access, shareMode, Native(security), creation, flagsAndAttributes, templateFile);
}
BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }
BOOL GetCommState(HANDLE file, DCB* dcb) { return ::GetCommState(file, Native(dcb)); }
BOOL SetCommState(HANDLE file, DCB* dcb) { return ::SetCommState(file, Native(dcb)); }
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  return ::GetCommTimeouts(file, Native(timeouts));
}
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  return ::SetCommTimeouts(file, Native(timeouts));
}
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) { return ::SetupComm(file, inQueue, outQueue); }
BOOL SetCommMask(HANDLE file, DWORD mask) { return ::SetCommMask(file, mask); }
BOOL GetCommMask(HANDLE file, DWORD* mask) { return ::GetCommMask(file, Native(mask)); }
BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
  return ::WaitCommEvent(file, Native(eventMask), Native(overlapped));
}
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped) {
  return ::ReadFile(file, buffer, toRead, Native(read), Native(overlapped));
}
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped) {
  return ::WriteFile(file, buffer, toWrite, Native(written), Native(overlapped));
}
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
  return ::GetOverlappedResult(file, Native(overlapped), Native(transferred), wait);
}
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
  return ::ClearCommError(file, Native(errors), Native(stat));
}
BOOL PurgeComm(HANDLE file, DWORD flags) { return ::PurgeComm(file, flags); }
BOOL GetCommModemStatus(HANDLE file, DWORD* modemStat) {
  return ::GetCommModemStatus(file, Native(modemStat));
}
BOOL SetCommBreak(HANDLE file) { return ::SetCommBreak(file); }
BOOL ClearCommBreak(HANDLE file) { return ::ClearCommBreak(file); }

}  // namespace native

BOOL BuildCommDCBA(LPCSTR definition, DCB* dcb) { return ::BuildCommDCBA(definition, Native(dcb)); }

// COM names are the system's own on Windows: there is nothing to map.
BOOL MapComPort(LPCSTR, LPCSTR) {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

}  // namespace veravo::win
