// The Win32 comm calls on comm handles. Each call looks its handle up, lets
// the port do the work and turns the port's status into the Win32 result.
// Calls made without an OVERLAPPED record block until the operation is done.
// Handles that are not in the handle table belong to the operating system
// and go to its own call.
#include <veravo/platform/win/comm_handle.h>
#include <veravo/platform/win/comm_port.h>
#include <veravo/platform/win/handle_table.h>
#include <veravo/platform/win/native_calls.h>
#include <veravo/platform/win/net/rfc2217_comm_driver.h>
#include <veravo/platform/win/win_api.h>

namespace veravo::win {
namespace {

using detail::CommPort;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Runs `operation` on the emulated port of `file`, or `native` when the
// handle is the operating system's.
template <class Operation, class Native>
BOOL OnPort(HANDLE file, Operation&& operation, Native&& native) {
  auto port = detail::LookupHandleAs<CommPort>(file);
  if (!port) return native();
  DWORD error = operation(*port);
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

// Runs an overlapped port operation. Without an OVERLAPPED record it runs on
// a private one and waits for its completion; the byte count goes to *count.
template <class Operation, class Native>
BOOL RunOverlapped(HANDLE file, OVERLAPPED* overlapped, DWORD* count, Operation&& operation,
                   Native&& native) {
  auto port = detail::LookupHandleAs<CommPort>(file);
  if (!port) return native();
  if (overlapped != nullptr) {
    DWORD status = operation(*port, overlapped);
    return status == ERROR_SUCCESS ? TRUE : Fail(status);
  }
  OVERLAPPED own{};
  own.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD status = operation(*port, &own);
  if (status == ERROR_IO_PENDING) {
    WaitForSingleObject(own.hEvent, INFINITE);
    ULONG_PTR done = 0;
    ULONG_PTR transferred = 0;
    port->OverlappedState(&own, &done, &transferred);
    status = static_cast<DWORD>(done);
    if (count != nullptr) *count = static_cast<DWORD>(transferred);
  }
  CloseHandle(own.hEvent);
  return status == ERROR_SUCCESS ? TRUE : Fail(status);
}

}  // namespace

HANDLE OpenCommHandle(std::unique_ptr<CommDriver> driver) {
  auto port = std::make_shared<CommPort>(std::move(driver));
  if (DWORD error = port->Open()) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return detail::InsertHandle(port);
}

// A network name (rfc2217://HOST:PORT) connects to a device server, and a
// virtual name opens the host end of a virtual line; the access, sharing,
// creation and attribute arguments are not looked at then: the handle is
// opened for reading and writing and works with or without OVERLAPPED
// records. Any other name goes to the operating system.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD creation,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::unique_ptr<CommDriver> driver;
  DWORD error = ERROR_SUCCESS;
  if (IsNetworkPortName(name)) {
    error = OpenNetworkCommDriver(name, &driver);
  } else if (!OpenVirtualCommDriver(name, &driver, &error)) {
    return native::CreateFileA(name, access, shareMode, security, creation, flagsAndAttributes, templateFile);
  }
  if (!driver) {
    SetLastError(error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return OpenCommHandle(std::move(driver));
}

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<detail::KernelObject> object = detail::RemoveHandle(handle);
  if (!object) return native::CloseHandle(handle);
  // Outside the table lock: closing a comm handle stops its device thread.
  object->Close();
  return TRUE;
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
  if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(
      file, [&](CommPort& port) { return port.GetState(dcb); },
      [&] { return native::GetCommState(file, dcb); });
}

BOOL SetCommState(HANDLE file, DCB* dcb) {
  if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(
      file, [&](CommPort& port) { return port.SetState(*dcb); },
      [&] { return native::SetCommState(file, dcb); });
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(
      file, [&](CommPort& port) { return port.GetTimeouts(timeouts); },
      [&] { return native::GetCommTimeouts(file, timeouts); });
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(
      file, [&](CommPort& port) { return port.SetTimeouts(*timeouts); },
      [&] { return native::SetCommTimeouts(file, timeouts); });
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  return OnPort(
      file, [&](CommPort& port) { return port.Setup(inQueue, outQueue); },
      [&] { return native::SetupComm(file, inQueue, outQueue); });
}

BOOL SetCommMask(HANDLE file, DWORD mask) {
  return OnPort(
      file, [&](CommPort& port) { return port.SetMask(mask); },
      [&] { return native::SetCommMask(file, mask); });
}

BOOL GetCommMask(HANDLE file, DWORD* mask) {
  if (mask == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(
      file, [&](CommPort& port) { return port.GetMask(mask); },
      [&] { return native::GetCommMask(file, mask); });
}

BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
  return RunOverlapped(
      file, overlapped, nullptr,
      [&](CommPort& port, OVERLAPPED* record) { return port.WaitEvent(eventMask, record); },
      [&] { return native::WaitCommEvent(file, eventMask, overlapped); });
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped) {
  return RunOverlapped(
      file, overlapped, read,
      [&](CommPort& port, OVERLAPPED* record) {
        return port.Read(static_cast<BYTE*>(buffer), toRead, read, record);
      },
      [&] { return native::ReadFile(file, buffer, toRead, read, overlapped); });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped) {
  return RunOverlapped(
      file, overlapped, written,
      [&](CommPort& port, OVERLAPPED* record) {
        return port.Write(static_cast<const BYTE*>(buffer), toWrite, written, record);
      },
      [&] { return native::WriteFile(file, buffer, toWrite, written, overlapped); });
}

// An operation started without an event cannot be waited for here
// (Windows would wait on the file handle itself): that fails with
// ERROR_INVALID_PARAMETER.
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
  if (overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  auto port = detail::LookupHandleAs<CommPort>(file);
  if (!port) return native::GetOverlappedResult(file, overlapped, transferred, wait);
  ULONG_PTR status = 0;
  ULONG_PTR count = 0;
  for (;;) {
    port->OverlappedState(overlapped, &status, &count);
    if (status != STATUS_PENDING) break;
    if (!wait) return Fail(ERROR_IO_INCOMPLETE);
    if (overlapped->hEvent == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED) return FALSE;
  }
  if (transferred != nullptr) *transferred = static_cast<DWORD>(count);
  if (status != ERROR_SUCCESS) return Fail(static_cast<DWORD>(status));
  return TRUE;
}

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* stat) {
  return OnPort(
      file, [&](CommPort& port) { return port.ClearError(errors, stat); },
      [&] { return native::ClearCommError(file, errors, stat); });
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  return OnPort(
      file, [&](CommPort& port) { return port.Purge(flags); },
      [&] { return native::PurgeComm(file, flags); });
}

BOOL GetCommModemStatus(HANDLE file, DWORD* modemStat) {
  if (modemStat == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(
      file, [&](CommPort& port) { return port.ModemStatus(modemStat); },
      [&] { return native::GetCommModemStatus(file, modemStat); });
}

BOOL SetCommBreak(HANDLE file) {
  return OnPort(
      file, [&](CommPort& port) { return port.SetBreak(true); }, [&] { return native::SetCommBreak(file); });
}

BOOL ClearCommBreak(HANDLE file) {
  return OnPort(
      file, [&](CommPort& port) { return port.SetBreak(false); },
      [&] { return native::ClearCommBreak(file); });
}

}  // namespace veravo::win
