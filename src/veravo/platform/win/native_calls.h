// The operating system's own handles, beside the emulated comm handles.
//
// Every comm handle of the emulated comm layer (a virtual line, and on POSIX
// also a termios device) lives in the handle table. A call on any other
// handle, and CreateFileA on a name that is not a virtual one, goes to the
// operating system: on Windows the real KERNEL32 call; on POSIX the termios
// backend for CreateFileA and ERROR_INVALID_HANDLE for everything else
// (there are no other handles there).
#pragma once

#include <veravo/platform/win/win_types.h>

namespace veravo::win::native {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD creation,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
BOOL GetCommState(HANDLE file, DCB* dcb);
BOOL SetCommState(HANDLE file, DCB* dcb);
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL SetCommMask(HANDLE file, DWORD mask);
BOOL GetCommMask(HANDLE file, DWORD* mask);
BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped);
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait);
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat);
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL GetCommModemStatus(HANDLE file, DWORD* modemStat);
BOOL SetCommBreak(HANDLE file);
BOOL ClearCommBreak(HANDLE file);

}  // namespace veravo::win::native

namespace veravo::win::detail {

// A fresh handle value for the handle table, never equal to a live handle of
// the operating system; ReleaseHandleValue gives it back when the handle is
// closed.
HANDLE NewHandleValue();
void ReleaseHandleValue(HANDLE value);

}  // namespace veravo::win::detail
