// The concrete serial port: opens a comm device by name with overlapped I/O,
// configures it from a settings text, and runs a receive thread and a
// transmit thread that move bytes between the device and two 512-byte
// queues. Callers only move bytes into and out of the queues (Read, Write
// and the queue slots); arriving bytes are also announced to host windows.
//
// Threads: the constructor, destructor, Reconfigure, SendBreak, the discard
// operations, StatusLine and all queue slots run on the caller's thread. The
// receive thread calls OnReceived, the line-error hooks, the modem-line hooks
// and NotifyHostWindows; the transmit thread calls OnTransmitEmpty. The line
// error hooks also run on the caller's thread while StatusLine collects line
// errors (lines 8 and 9) and while WaitTransmitEmpty and UnsentWireMs read
// the device's output queue, so an overriding hook must be thread-safe.
// Members written by a port thread and read elsewhere are std::atomic:
// Status, ReadPending, m_dwWindowsError, LineErrors, ModemStatus, BreakMs.
//
// Choices made here:
// - A null port name is not passed to the platform: the open fails as "not
//   found" (-498) and PortName stays null. Names are otherwise opened exactly
//   as written.
// - SendBreak with a negative length sends a zero-length break (the line is
//   released at once); lengths above 1000 ms are cut to 1000.
// - A device read that the platform refuses outright is counted as
//   outstanding, then ended by the receive thread itself: it collects the
//   line errors (which is what lets an aborted device read again) and
//   starts a new read. When the next read is refused too, the thread waits
//   for the next line event (or room, or stop) before trying again, except
//   for a read aborted by line errors: that one is always ended at once,
//   since characters dropped by a full input buffer raise no line event.
// - The destructor, while waiting for the two threads, handles messages that
//   other threads send to the calling thread's windows, and when it runs
//   inside the handler of such a message it first releases the sender
//   (ReplyMessage). A host window owner can thus destroy the port while the
//   receive thread is delivering a notification to it.
// - Before the receive thread ends it cancels its outstanding device read and
//   line-event wait; the transmit thread likewise cancels a write in progress.
// - Fatal internal errors print to stderr and abort.
#pragma once

#include <veravo/platform/win/win_types.h>
#include <veravo/serial/byte_queue.h>
#include <veravo/serial/port_settings.h>
#include <veravo/serial/serial_port_base.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace veravo {

class SerialPort : public SerialPortBase {
 public:
  // Message sent to host windows when bytes arrive.
  static constexpr win::UINT DataArrivedMessage = 5024;  // WM_USER + 4000
  static constexpr int QueueCapacity = 512;
  static constexpr int MaxDeviceRead = 256;
  static constexpr int MaxDeviceWrite = 500;
  static constexpr int MaxBreakMs = 1000;

  // Opens portName and applies settingsText (may be null: 9600,N,8,1). Never
  // throws for a device problem: Status tells the outcome (0: open with both
  // threads running; negative: nothing open, nothing running).
  SerialPort(const char* portName, const char* settingsText);
  ~SerialPort() override;

  // Slots 0 to 5. A null buffer with a count above 0 moves nothing and gives
  // -98 (ByteCount 0); a count below 0 is taken as 0.
  int TakeReceived(char* buf, int count) override;
  int PutTransmit(const char* data, int count) override;
  int TakeReceivedByte() override;
  int PutTransmitByte(char c) override;
  int TransmitFree() override;
  int ReceiveUsed() override;
  // Slot 7: schedules a break of `milliseconds` (0..1000) on the transmit
  // thread; always 0.
  int SendBreak(int milliseconds) override;
  // Slot 8: adds -493, -492 and -491 to the base texts.
  void ErrorText(int code, char* out, std::size_t outSize = ErrorTextSize) override;
  // Slot 10: BaseLineCount + 9 lines; line numbers below BaseLineCount go to
  // the base class. Default buffer size StatusLineSize (128).
  int StatusLine(char* out, int line, std::size_t outSize = StatusLineSize) override;
  // Slots 11 to 15.
  int ReceiveFree() override;
  int TransmitUsed() override;
  int DiscardReceived() override;
  int DiscardTransmit() override;
  int PeekReceived(char* out, int count) override;

  // Slots 16 to 27: hooks, empty here.
  virtual void OnReceived(int count);
  virtual void OnTransmitEmpty();
  virtual void OnParityError();
  virtual void OnFramingError();
  virtual void OnOverrun();
  virtual void OnReceiveOverflow();
  virtual void OnBreak();
  virtual void OnCtsChange(bool on);
  virtual void OnDsrChange(bool on);
  virtual void OnCarrierChange(bool on);
  virtual void OnRing(bool on);
  // Sends DataArrivedMessage to the host windows of the known classes.
  virtual void NotifyHostWindows(const char* portName);

  // Parses settingsText (null: re-applies RequestedSettings) and applies it;
  // the outcome goes to Status (a success unblocks a blocked port and sends
  // what is still queued). Always 0.
  int Reconfigure(const char* settingsText);

  // Waits until everything handed to the port has left the line: the
  // transmit queue is empty, the transmit thread holds no batch, the
  // device's output queue (ClearCommError's cbOutQue) is empty, and then one
  // more character time at the format in force, since no platform call tells
  // when the last character has left the shift register. Returns Status when
  // it is negative (also when it turns negative meanwhile), 0 when the line
  // is empty, -98 when timeoutMs passes first. A time-out of 0 or below
  // checks once: 0 when everything has already left, else -98. Line errors
  // read on the way are kept in LineErrors and reported through the hooks.
  int WaitTransmitEmpty(long timeoutMs);
  // Wire time, at the format in force, of the bytes handed to the port and
  // not yet on the line (queued, in the transmit thread's batch or in the
  // device's output queue); may count a batch twice, never too few.
  long UnsentWireMs();

  // Text for a character in the status lines: the character itself for
  // 0x20..0x73, otherwise "0x" and lower-case hex of the sign-extended value.
  static std::string CharText(char c);

  PortSettings RequestedSettings;
  std::atomic<int> BreakMs;
  int BaseLineCount;
  std::atomic<bool> ReadPending;
  std::atomic<win::DWORD> m_dwWindowsError;
  win::HANDLE TransmitThread;
  win::HANDLE ReceiveThread;
  ByteQueue TransmitQueue;
  ByteQueue ReceiveQueue;
  win::DCB DeviceState;
  std::atomic<win::DWORD> LineErrors;
  std::atomic<win::DWORD> ModemStatus;
  win::HANDLE StopTransmitEvent;
  win::HANDLE StopReceiveEvent;
  win::HANDLE TransmitEvent;
  win::HANDLE ReceiveSpaceEvent;
  win::HANDLE BreakEvent;
  // Bytes of the batch the transmit thread is writing; nonzero from before it
  // takes bytes from TransmitQueue until the device write of that batch has
  // completed or failed (MaxDeviceWrite until it knows the batch's size).
  std::atomic<int> TransmitBatch;

 protected:
  // Subclasses that override hooks open the port with this constructor, which
  // does everything the public one does except start the two threads; they
  // call StartThreads() at the end of their own constructor and StopThreads()
  // first thing in their destructor. The threads call the hooks through the
  // object, so they must only run while the whole object exists.
  struct DeferThreads {};
  SerialPort(const char* portName, const char* settingsText, DeferThreads);
  // Starts the receive and transmit threads of an open port (once).
  void StartThreads();
  // Stops both threads and waits for them to end (idempotent). While it
  // waits it handles messages sent to the calling thread's windows; inside
  // the handler of such a message it first releases the sender.
  void StopThreads();

  // Lays s onto DeviceState field by field (skipping leave-as-is fields) and
  // writes DeviceState to the device. Returns 0, the code of the last
  // invalid field (-96, -95, -94), or -492 / -493 when the write failed.
  int ApplySettings(const PortSettings& s);
  // Fills out from a settings text such as "9600,N,8,1"; a null text or one
  // the platform's builder rejects leaves out unchanged. The parity letter
  // is matched exactly: anything but upper-case N, E, O, M is space parity
  // (so "9600,n,8,1" asks for space parity).
  void ParseSettingsText(PortSettings& out, const char* settingsText);
  // Stores the calling thread's last platform error and its result code.
  int RecordPlatformError();
  // Reads the modem lines and calls their hooks (all three at start-up;
  // otherwise those named by the reported events).
  void UpdateModemLines(bool initial, win::DWORD events);
  // Reads and clears the device's line errors and calls their hooks.
  void CollectLineErrors(win::COMSTAT* stat);

 private:
  static void ReceiveThreadMain(void* port);
  static void TransmitThreadMain(void* port);
  void ReceiveLoop();
  void TransmitLoop();
  // Sends the transmit queue in batches; true when stopped meanwhile.
  bool DrainTransmitQueue();
  void WaitForThreads();
  static void Signal(win::HANDLE event);
  // Wakes the receive thread when it stopped reading for want of room.
  void RoomMade();
  // Wakes the transmit thread when it found its queue empty.
  void BytesQueued();
  // Time one character takes at the format in force (DeviceState).
  double CharTimeMs() const;

  // Overlapped records and buffers of the threads. They live as long as the
  // port so that nothing the platform may still complete points at memory
  // that is gone.
  win::OVERLAPPED AsyncReadInfo{};
  win::OVERLAPPED AsyncStatusInfo{};
  win::OVERLAPPED AsyncWriteInfo{};
  win::DWORD reportedEvents_ = 0;
  // The receive thread found (or is about to find) no room in its queue and
  // waits for ReceiveSpaceEvent; set before it looks, cleared by whoever
  // signals, so that each stall costs one signal and a busy thread none.
  std::atomic<bool> waitingForRoom_{false};
  // The transmit thread found (or is about to find) its queue empty and
  // waits for TransmitEvent; the same protocol as waitingForRoom_. It
  // starts out waiting.
  std::atomic<bool> waitingForBytes_{true};
  char readBuffer_[MaxDeviceRead] = {};
  char writeBuffer_[MaxDeviceWrite] = {};
};

}  // namespace veravo
