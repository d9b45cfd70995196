// The seam between the emulated Win32 comm layer and the device backends
// below it (termios devices and the virtual line).
//
// The comm layer owns everything Win32 promises about a comm handle: the
// input buffer (size from SetupComm, 512 by default in this system's use),
// the event mask and WaitCommEvent, overlapped ReadFile / WriteFile with the
// COMMTIMEOUTS semantics, the accumulated CE_* errors of ClearCommError, and
// PurgeComm. A backend is the "driver": it moves bytes to and from the line,
// applies the line format, reports line errors, modem-line changes and
// breaks, and tells when it can take more output.
//
// Locking rule: a driver never calls its sink while it holds a lock of its
// own that a call from the comm layer may wait for (ReadAvailable only tries
// for its lock). The comm layer may call the driver while holding its own
// lock.
#pragma once

#include <veravo/platform/win/win_types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace veravo::win {

// Implemented by the comm layer, one per open comm handle. Called from the
// driver's own threads.
class CommDriverSink {
 public:
  virtual ~CommDriverSink() = default;
  // Room left in the input buffer, in bytes.
  virtual std::size_t InputRoom() = 0;
  // Bytes arrived from the line. The sink keeps what fits in its input
  // buffer and records CE_RXOVER for the rest. Returns the number kept.
  virtual std::size_t Received(const BYTE* data, std::size_t count) = 0;
  // Line errors (CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_BREAK; accumulated
  // until ClearCommError) and events (EV_BREAK, EV_ERR, EV_CTS, EV_DSR,
  // EV_RLSD, EV_RING, EV_RINGTE; matched against the event mask).
  virtual void LineEvent(DWORD errors, DWORD events) = 0;
  // The driver has room for more output, or its output has drained.
  virtual void OutputSpace() = 0;
  // The device went away: pending operations fail, later calls fail.
  virtual void Unplugged() = 0;
  // The time asked for with CommDriver::WakeSinkAt has come.
  virtual void WakeUp() {}
};

// True when a DCB asks for a line format a driver can apply: a baud rate
// above 0 (0 would hang up the line), 5 to 8 data bits, a known parity and
// a known number of stop bits. Drivers answer other requests with
// ERROR_INVALID_PARAMETER.
inline bool ValidLineFormat(const DCB& dcb) {
  return dcb.BaudRate != 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 && dcb.Parity <= SPACEPARITY &&
         dcb.StopBits <= TWOSTOPBITS;
}

// Implemented by a device backend, one per open comm handle.
class CommDriver {
 public:
  virtual ~CommDriver() = default;
  // Starts delivery to the sink. The sink outlives the driver's use of it:
  // the comm layer destroys the driver (which stops its threads) before the
  // sink.
  virtual void Attach(CommDriverSink* sink) = 0;
  // Applies the line settings of a DCB. Returns 0 or a Win32 error code
  // (ERROR_INVALID_PARAMETER for values the device cannot take).
  virtual DWORD Configure(const DCB& dcb) = 0;
  // Hands bytes to the driver's output buffer without blocking; *accepted
  // receives how many were taken. Returns 0 or a Win32 error code.
  virtual DWORD Write(const BYTE* data, std::size_t count, std::size_t* accepted) = 0;
  // Bytes handed over but not yet sent on the line.
  virtual std::size_t OutQueue() = 0;
  // Drops output that has not left yet (PURGE_TXCLEAR / PURGE_TXABORT).
  virtual void PurgeOutput() = 0;
  // Sets the driver's output buffer size (SetupComm's second argument).
  virtual DWORD SetOutputBufferSize(std::size_t bytes) = 0;
  // Current modem lines as MS_* bits. Returns 0 or a Win32 error code.
  virtual DWORD ModemStatus(DWORD* status) = 0;
  // Holds the line in the break state (on) or releases it.
  virtual DWORD SetBreak(bool on) = 0;
  // The sink made room in its input buffer; a driver that stopped reading
  // because the buffer was full may read again.
  virtual void InputSpace() = 0;
  // Asks the driver's own thread to call the sink's WakeUp at or just after
  // `due`, in place of any earlier request, so that a read's quiet gap ends
  // on the thread that delivers its bytes. Returns false when the driver has
  // no thread of its own to time it; the comm layer then times it itself.
  virtual bool WakeSinkAt(std::chrono::steady_clock::time_point /*due*/) { return false; }
  // Reads up to `max` bytes that the device holds now, without waiting, on
  // the caller's thread, so that a read the comm layer can complete from
  // them needs no hand-off through the driver's thread. Returns the count
  // read; 0 when nothing is there, or when the driver's thread is taking
  // bytes at that moment (bytes must reach the sink in the order they came).
  // Called under the comm layer's lock: it must never wait for the driver's
  // thread.
  virtual std::size_t ReadAvailable(BYTE* /*buffer*/, std::size_t /*max*/) { return 0; }
};

// Defined by the virtual line (veravo::sim): opens the host end of a
// virtual line when `name` is a registered virtual name or a "sim:" name.
// Returns false when the name is not a virtual one (the caller then tries a
// real device); true with *driver set on success, or true with *driver null
// and *error set (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED) on failure.
bool OpenVirtualCommDriver(const std::string& name, std::unique_ptr<CommDriver>* driver, DWORD* error);

}  // namespace veravo::win
