// The KERNEL32 subset on Windows: the real calls. Events, waits, threads
// and critical sections are the system's, so the virtual line's comm
// handles complete their operations by setting real events.
#include <veravo/platform/win/event_handles.h>
#include <veravo/platform/win/win_api.h>
// After the emulation's headers: see native_calls_windows.cpp.
#include <process.h>
#include <windows.h>

#include <memory>

namespace veravo::win {
namespace {

::LPSECURITY_ATTRIBUTES Native(LPSECURITY_ATTRIBUTES value) {
  return reinterpret_cast<::LPSECURITY_ATTRIBUTES>(value);
}

struct ThreadStartRecord {
  ThreadStart start;
  void* argument;
};

unsigned __stdcall RunThread(void* record) {
  std::unique_ptr<ThreadStartRecord> own(static_cast<ThreadStartRecord*>(record));
  own->start(own->argument);
  return 0;
}

}  // namespace

namespace detail {

bool SignalEventHandle(HANDLE event) { return ::SetEvent(event) != FALSE; }
bool SignalEventHandleDeferred(HANDLE event) { return ::SetEvent(event) != FALSE; }
void WakeDeferred() {}
bool ResetEventHandle(HANDLE event) { return ::ResetEvent(event) != FALSE; }

}  // namespace detail

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCSTR name) {
  return ::CreateEventA(Native(security), manualReset, initialState, name);
}
BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }
BOOL ResetEvent(HANDLE event) { return ::ResetEvent(event); }
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  return ::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
}
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                DWORD wakeMask) {
  return ::MsgWaitForMultipleObjects(count, handles, waitAll, milliseconds, wakeMask);
}

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  auto* real = new ::CRITICAL_SECTION;
  ::InitializeCriticalSection(real);
  section->Impl = real;
}
void DeleteCriticalSection(CRITICAL_SECTION* section) {
  auto* real = static_cast<::CRITICAL_SECTION*>(section->Impl);
  if (real == nullptr) return;
  ::DeleteCriticalSection(real);
  delete real;
  section->Impl = nullptr;
}
void EnterCriticalSection(CRITICAL_SECTION* section) {
  ::EnterCriticalSection(static_cast<::CRITICAL_SECTION*>(section->Impl));
}
void LeaveCriticalSection(CRITICAL_SECTION* section) {
  ::LeaveCriticalSection(static_cast<::CRITICAL_SECTION*>(section->Impl));
}

HANDLE BeginThread(ThreadStart start, void* argument) {
  auto* record = new ThreadStartRecord{start, argument};
  auto handle = ::_beginthreadex(nullptr, 0, RunThread, record, 0, nullptr);
  if (handle == 0) {
    delete record;
    return nullptr;
  }
  return reinterpret_cast<HANDLE>(handle);
}
DWORD GetCurrentThreadId() { return ::GetCurrentThreadId(); }

DWORD GetTickCount() { return ::GetTickCount(); }
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }
DWORD SleepEx(DWORD milliseconds, BOOL alertable) { return ::SleepEx(milliseconds, alertable); }

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

}  // namespace veravo::win
