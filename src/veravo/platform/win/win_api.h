// The Win32 calls (KERNEL32 and USER32 subset) that the serial engine, the
// components and the simulator use. On POSIX they are emulated: comm handles
// reach either a termios device or a virtual line; events, waits, threads and
// window messages are implemented with the standard thread library.
//
// Every call follows the Win32 contract: failures return FALSE /
// INVALID_HANDLE_VALUE / WAIT_FAILED and set the calling thread's last error.
#pragma once

#include <veravo/platform/win/win_types.h>

namespace veravo::win {

// ---- files and comm devices ------------------------------------------------
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);

BOOL BuildCommDCBA(LPCSTR definition, DCB* dcb);
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

// POSIX emulation only (a no-op returning FALSE on Windows): open `device`
// (a path such as /dev/ttyUSB0) whenever `comName` (such as "COM3") is
// opened. Without a mapping COMn opens /dev/ttyS{n-1}. A null device removes
// the mapping.
BOOL MapComPort(LPCSTR comName, LPCSTR device);

// ---- synchronisation -------------------------------------------------------
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
// Waits like WaitForMultipleObjects (wait-any), but also returns
// WAIT_OBJECT_0 + count when a message of `wakeMask` arrives for the calling
// thread (a message sent with SendMessageA from another thread, or a posted
// one); the caller then handles it with PeekMessageA.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                DWORD wakeMask);

void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

// ---- threads and time ------------------------------------------------------
using ThreadStart = void (*)(void* argument);
// Starts a thread running start(argument) (the C runtime's _beginthread with
// default stack size). Returns a handle that is signalled when the thread has
// ended; the caller closes it with CloseHandle. Null on failure.
HANDLE BeginThread(ThreadStart start, void* argument);
DWORD GetCurrentThreadId();

DWORD GetTickCount();
void Sleep(DWORD milliseconds);
DWORD SleepEx(DWORD milliseconds, BOOL alertable);

DWORD GetLastError();
void SetLastError(DWORD error);

// ---- windows and messages (USER32) -----------------------------------------
ATOM RegisterClassA(const WNDCLASSA* windowClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
// Creates a top-level window of a registered class, owned by the calling
// thread. Only the class name, window name and lpParam are looked at.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Finds a top-level window by class name (the title is ignored when null).
// With several windows of one class, the most recently created one is found.
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
// On the window's owner thread: calls the window procedure directly. From
// another thread: queues the message to the owner thread and blocks until
// the owner has handled it (in PeekMessageA, GetMessageA or while it waits
// in MsgWaitForMultipleObjects ... followed by PeekMessageA), or until the
// window is destroyed or its owner thread ends, in which case it returns 0.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// TRUE while the calling thread handles a message that another thread sent
// with SendMessageA.
BOOL InSendMessage();
// Releases the thread that sent the message now being handled: its
// SendMessageA returns `result` at once while the handler goes on. FALSE
// when the message being handled was not sent from another thread.
BOOL ReplyMessage(LRESULT result);
// Handles the messages sent to the calling thread's windows from other
// threads, then returns the next posted message of the calling thread (when
// `remove` is PM_REMOVE it is taken off the queue). FALSE when none is posted.
BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
// Blocks until a posted message is there, handling sent messages meanwhile.
// Returns FALSE for WM_QUIT.
BOOL GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
LRESULT DispatchMessageA(const MSG* msg);

}  // namespace veravo::win
