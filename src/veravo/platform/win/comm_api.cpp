// The Win32 comm calls on comm handles. Each call looks its handle up, lets
// the port do the work and turns the port's status into the Win32 result.
// Calls made without an OVERLAPPED record block until the operation is done.
#include <veravo/platform/win/com_port_names.h>
#include <veravo/platform/win/comm_handle.h>
#include <veravo/platform/win/comm_port.h>
#include <veravo/platform/win/handle_table.h>
#include <veravo/platform/win/termios_comm_driver.h>
#include <veravo/platform/win/win_api.h>

namespace veravo::win {
namespace {

using detail::CommPort;

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

template <class Operation>
BOOL OnPort(HANDLE file, Operation&& operation) {
  auto port = detail::LookupHandleAs<CommPort>(file);
  if (!port) return Fail(ERROR_INVALID_HANDLE);
  DWORD error = operation(*port);
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

// Runs an overlapped port operation. Without an OVERLAPPED record it runs on
// a private one and waits for its completion; the byte count goes to *count.
template <class Operation>
BOOL RunOverlapped(HANDLE file, OVERLAPPED* overlapped, DWORD* count, Operation&& operation) {
  auto port = detail::LookupHandleAs<CommPort>(file);
  if (!port) return Fail(ERROR_INVALID_HANDLE);
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

// The access, sharing, creation and attribute arguments are not looked at:
// every comm handle is opened for reading and writing, exclusively, and
// works with or without OVERLAPPED records.
HANDLE CreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::unique_ptr<CommDriver> driver;
  DWORD error = ERROR_SUCCESS;
  if (OpenVirtualCommDriver(name, &driver, &error)) {
    if (!driver) {
      SetLastError(error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
  } else {
    std::optional<std::string> path = detail::ResolveCommDevicePath(name);
    if (!path) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    if ((error = detail::OpenTermiosCommDriver(*path, &driver)) != ERROR_SUCCESS) {
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
  }
  return OpenCommHandle(std::move(driver));
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
  if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(file, [&](CommPort& port) { return port.GetState(dcb); });
}

BOOL SetCommState(HANDLE file, DCB* dcb) {
  if (dcb == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(file, [&](CommPort& port) { return port.SetState(*dcb); });
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(file, [&](CommPort& port) { return port.GetTimeouts(timeouts); });
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  if (timeouts == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(file, [&](CommPort& port) { return port.SetTimeouts(*timeouts); });
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  return OnPort(file, [&](CommPort& port) { return port.Setup(inQueue, outQueue); });
}

BOOL SetCommMask(HANDLE file, DWORD mask) {
  return OnPort(file, [&](CommPort& port) { return port.SetMask(mask); });
}

BOOL GetCommMask(HANDLE file, DWORD* mask) {
  if (mask == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(file, [&](CommPort& port) { return port.GetMask(mask); });
}

BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
  return RunOverlapped(file, overlapped, nullptr,
                       [&](CommPort& port, OVERLAPPED* record) { return port.WaitEvent(eventMask, record); });
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped) {
  return RunOverlapped(file, overlapped, read, [&](CommPort& port, OVERLAPPED* record) {
    return port.Read(static_cast<BYTE*>(buffer), toRead, read, record);
  });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped) {
  return RunOverlapped(file, overlapped, written, [&](CommPort& port, OVERLAPPED* record) {
    return port.Write(static_cast<const BYTE*>(buffer), toWrite, written, record);
  });
}

// An operation started without an event cannot be waited for here
// (Windows would wait on the file handle itself): that fails with
// ERROR_INVALID_PARAMETER.
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
  if (overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  auto port = detail::LookupHandleAs<CommPort>(file);
  ULONG_PTR status = 0;
  ULONG_PTR count = 0;
  for (;;) {
    if (port) {
      port->OverlappedState(overlapped, &status, &count);
    } else {
      // The handle is gone; a completed record still tells its result.
      status = overlapped->Internal;
      count = overlapped->InternalHigh;
      if (status == STATUS_PENDING) return Fail(ERROR_INVALID_HANDLE);
    }
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
  return OnPort(file, [&](CommPort& port) { return port.ClearError(errors, stat); });
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  return OnPort(file, [&](CommPort& port) { return port.Purge(flags); });
}

BOOL GetCommModemStatus(HANDLE file, DWORD* modemStat) {
  if (modemStat == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OnPort(file, [&](CommPort& port) { return port.ModemStatus(modemStat); });
}

BOOL SetCommBreak(HANDLE file) {
  return OnPort(file, [&](CommPort& port) { return port.SetBreak(true); });
}

BOOL ClearCommBreak(HANDLE file) {
  return OnPort(file, [&](CommPort& port) { return port.SetBreak(false); });
}

}  // namespace veravo::win
