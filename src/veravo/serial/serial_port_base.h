// The abstract root of every serial port: the device name, the port's result
// code, the statistics of the last transfer, the result-code texts, the
// numbered status text lines, and blocking Read / Write built on six
// non-blocking queue operations that a concrete port supplies.
//
// Thread safety: `Status` is a std::atomic<std::int16_t> because a port
// thread may set it (a failed device write) while the caller reads it; read
// it as before (`port->Status < 0`, `port->Status == 0`). All other members
// and operations belong to the caller's thread.
//
// Text buffers: every message text is 8-bit text in code page 936 and ends
// in the ideographic full stop "\xA1\xA3" (except "Success"). ErrorText and
// StatusLine take the size of the caller's buffer; callers that use the
// shorter forms must supply ErrorTextSize (128) and StatusLineSize (128)
// bytes. Longer texts (a long port name, say) are cut, never overflow.
#pragma once

#include <veravo/platform/win/win_types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace veravo {

class SerialPortBase {
 public:
  static constexpr std::size_t ErrorTextSize = 128;
  static constexpr std::size_t StatusLineSize = 128;

  SerialPortBase();
  SerialPortBase(const SerialPortBase&) = delete;
  SerialPortBase& operator=(const SerialPortBase&) = delete;

  // Non-blocking queue operations (slots 0 to 5).
  virtual int TakeReceived(char* buf, int count) = 0;
  virtual int PutTransmit(const char* data, int count) = 0;
  virtual int TakeReceivedByte() = 0;
  virtual int PutTransmitByte(char c) = 0;
  virtual int TransmitFree() = 0;
  virtual int ReceiveUsed() = 0;

  // Slot 6: frees PortName.
  virtual ~SerialPortBase();

  // Slot 7: -99 (not supported) here.
  virtual int SendBreak(int milliseconds);
  // Slot 8: writes the text of a result code into out (at most outSize
  // bytes, always zero-terminated; nothing when out is null or outSize 0).
  // Codes without a text give "Undefined error\xA1\xA3". The two-argument
  // form assumes an out buffer of ErrorTextSize (128) bytes.
  virtual void ErrorText(int code, char* out, std::size_t outSize = ErrorTextSize);
  // Slot 9: called between the passes of Read and Write; a negative result
  // ends the transfer with that result. 0 here.
  virtual int PollHook();
  // Slot 10: writes status line `line` into out (at most outSize bytes,
  // default StatusLineSize = 128) and returns 0; with out null returns the
  // number of lines; a line out of range gives -93 and writes nothing.
  virtual int StatusLine(char* out, int line, std::size_t outSize = StatusLineSize);
  // Slots 11 to 15.
  virtual int ReceiveFree();
  virtual int TransmitUsed();
  virtual int DiscardReceived();
  virtual int DiscardTransmit();
  virtual int PeekReceived(char* out, int count);

  // Collects received bytes into buffer (which needs count + 1 bytes: the
  // result is zero-terminated). Returns at the first pass that finds nothing
  // queued, so it never waits for bytes that have not arrived; timeoutMs
  // (-1: no limit) bounds how long it goes on collecting while bytes keep
  // coming. 0 when count bytes were delivered, -98 when fewer. count < 0 is
  // taken as 0; a null buffer with count > 0 gives -98 and ByteCount 0.
  int Read(char* buffer, int count, long timeoutMs);
  // Queues count bytes of data (count 0 or below: up to its first zero
  // byte), then the zero-terminated terminator when one is given; retries
  // while the transmit queue is full until timeoutMs (-1: no limit) has
  // passed. Returns once everything is queued: 0, or -98 with ByteCount the
  // number queued. A null data pointer with count > 0 gives -98 and
  // ByteCount 0.
  int Write(const char* data, int count, long timeoutMs, const char* terminator);

  char* PortName;                    // owned copy of the device name; null until set
  win::HANDLE Device;                // INVALID_HANDLE_VALUE while no device is open
  std::atomic<std::int16_t> Status;  // 0: usable; negative: the code of a failed open or re-set
  int LineCount;                     // number of status lines
  unsigned ByteCount;                // bytes moved by the last transfer operation
  long ElapsedMs;                    // duration of the last Read or Write

 protected:
  // Sets PortName to a copy of name (null stays null).
  void SetPortName(const char* name);
};

}  // namespace veravo
