// The receive and transmit threads of a comm-device port.
#include <veravo/platform/win/win_api.h>
#include <veravo/serial/fatal_error.h>
#include <veravo/serial/serial_port.h>

#include <algorithm>

namespace veravo {

namespace {

// Line events the receive thread waits for: received character, CTS, DSR
// and carrier changes, break, line error, ring and the end of a ring.
constexpr win::DWORD kLineEventMask = win::EV_RXCHAR | win::EV_CTS | win::EV_DSR | win::EV_RLSD |
                                      win::EV_BREAK | win::EV_ERR | win::EV_RING | win::EV_RINGTE;
static_assert(kLineEventMask == 0x21F9);

// How long a thread that is ending waits for the platform to finish an
// operation it has just cancelled.
constexpr win::DWORD kCancelWaitMs = 1000;

win::HANDLE CreateRecordEvent(const char* what) {
  const win::HANDLE event = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
  if (event == nullptr) FatalInternalError(what);
  return event;
}

}  // namespace

void SerialPort::OnReceived(int /*count*/) {}
void SerialPort::OnTransmitEmpty() {}
void SerialPort::OnParityError() {}
void SerialPort::OnFramingError() {}
void SerialPort::OnOverrun() {}
void SerialPort::OnReceiveOverflow() {}
void SerialPort::OnBreak() {}
void SerialPort::OnCtsChange(bool /*on*/) {}
void SerialPort::OnDsrChange(bool /*on*/) {}
void SerialPort::OnCarrierChange(bool /*on*/) {}
void SerialPort::OnRing(bool /*on*/) {}

void SerialPort::UpdateModemLines(bool initial, win::DWORD events) {
  win::DWORD lines = 0;
  // Without the line states (the device may have gone) there is nothing to
  // report.
  if (!win::GetCommModemStatus(Device, &lines)) return;
  ModemStatus = lines;
  if (initial) {
    OnCtsChange((lines & win::MS_CTS_ON) != 0);
    OnDsrChange((lines & win::MS_DSR_ON) != 0);
    OnCarrierChange((lines & win::MS_RLSD_ON) != 0);
    OnRing(false);
    return;
  }
  if ((events & win::EV_CTS) != 0) OnCtsChange((lines & win::MS_CTS_ON) != 0);
  if ((events & win::EV_DSR) != 0) OnDsrChange((lines & win::MS_DSR_ON) != 0);
  if ((events & win::EV_RLSD) != 0) OnCarrierChange((lines & win::MS_RLSD_ON) != 0);
  // Only the end of a ring is reported.
  if ((events & (win::EV_RING | win::EV_RINGTE)) != 0 && (lines & win::MS_RING_ON) == 0) OnRing(false);
}

void SerialPort::CollectLineErrors(win::COMSTAT* stat) {
  win::DWORD errors = 0;
  if (!win::ClearCommError(Device, &errors, stat)) errors = 0;
  LineErrors.fetch_or(errors);
  if ((errors & win::CE_BREAK) != 0) OnBreak();
  if ((errors & win::CE_FRAME) != 0) OnFramingError();
  if ((errors & win::CE_OVERRUN) != 0) OnOverrun();
  if ((errors & win::CE_RXPARITY) != 0) OnParityError();
  if ((errors & win::CE_RXOVER) != 0) OnReceiveOverflow();
}

void SerialPort::ReceiveThreadMain(void* port) { static_cast<SerialPort*>(port)->ReceiveLoop(); }

void SerialPort::TransmitThreadMain(void* port) { static_cast<SerialPort*>(port)->TransmitLoop(); }

void SerialPort::ReceiveLoop() {
  UpdateModemLines(true, 0);
  CollectLineErrors(nullptr);
  AsyncReadInfo = {};
  AsyncStatusInfo = {};
  AsyncReadInfo.hEvent = CreateRecordEvent("AsyncReadInfo.hEvent");
  AsyncStatusInfo.hEvent = CreateRecordEvent("AsyncStatusInfo.hEvent");
  ReadPending = false;
  bool statusPending = false;
  // The line-event wait was refused by the platform (the device has gone,
  // say): no completion will come, so there is nothing to wait for at the end.
  bool statusRefused = false;
  // The outstanding read was refused by the platform: no completion of its
  // own will come.
  bool readRefused = false;
  // Reads refused in a row since the last line event.
  int refusals = 0;
  // Bytes that reads completing at once put into the queue since the host
  // windows were last told of arrivals.
  bool unannounced = false;
  win::SetCommMask(Device, kLineEventMask);

  for (bool running = true; running;) {
    int room = 0;
    if (!ReadPending) {
      // Announced before the look at the room: a caller that makes room
      // after the look then signals.
      waitingForRoom_ = true;
      room = std::min(ReceiveQueue.FreeSpace(), static_cast<int>(MaxDeviceRead));
      if (room > 0) {
        waitingForRoom_ = false;
        win::DWORD got = 0;
        win::ResetEvent(AsyncReadInfo.hEvent);
        if (win::ReadFile(Device, readBuffer_, static_cast<win::DWORD>(room), &got, &AsyncReadInfo)) {
          refusals = 0;
          if (got > 0) {
            ReceiveQueue.Put(readBuffer_, static_cast<int>(got));
            OnReceived(static_cast<int>(got));
            unannounced = true;
          }
        } else {
          ReadPending = true;
          const win::DWORD refusal = win::GetLastError();
          readRefused = refusal != win::ERROR_IO_PENDING;
          if (!readRefused) {
            refusals = 0;
          } else if (++refusals == 1 || refusal == win::ERROR_OPERATION_ABORTED) {
            // End the refused read ourselves so that the line errors are
            // collected and reading resumes; when the platform refuses
            // again, wait for the next line event instead of spinning. A
            // read aborted by line errors is always ended at once: collecting
            // the errors lifts the abort, and a new one needs new errors. No
            // line event may come to end it otherwise: characters that a
            // full input buffer drops raise none, nor does their overflow.
            win::SetEvent(AsyncReadInfo.hEvent);
          }
        }
      } else {
        // The queue is full: no read is started and no stale completion
        // must be seen.
        win::ResetEvent(AsyncReadInfo.hEvent);
        // Reads that complete at once are not announced; but when the queue
        // fills with bytes the host windows were never told of, no read will
        // complete any more until a host takes bytes, and a host that reads
        // when told never would: tell the host windows now. A handler that
        // takes bytes signals ReceiveSpaceEvent (waitingForRoom_ is set), so
        // reading resumes.
        if (unannounced) {
          unannounced = false;
          NotifyHostWindows(PortName);
        }
      }
    }

    if (!statusPending) {
      reportedEvents_ = 0;
      win::ResetEvent(AsyncStatusInfo.hEvent);
      if (win::WaitCommEvent(Device, &reportedEvents_, &AsyncStatusInfo)) {
        UpdateModemLines(false, reportedEvents_);
        CollectLineErrors(nullptr);
      } else {
        // Counted as pending either way, so that a refusal does not make the
        // loop spin; only a wait that is really outstanding ever completes.
        statusPending = true;
        statusRefused = win::GetLastError() != win::ERROR_IO_PENDING;
      }
    }

    if (!statusPending || (!ReadPending && room != 0)) continue;

    const win::HANDLE waits[] = {StopReceiveEvent, AsyncReadInfo.hEvent, AsyncStatusInfo.hEvent,
                                 ReceiveSpaceEvent};
    const win::DWORD r = win::WaitForMultipleObjects(4, waits, win::FALSE, win::INFINITE);
    switch (r) {
      case win::WAIT_OBJECT_0:
        running = false;
        break;
      case win::WAIT_OBJECT_0 + 1: {
        if (readRefused) {
          readRefused = false;
          win::ResetEvent(AsyncReadInfo.hEvent);
          ReadPending = false;
          CollectLineErrors(nullptr);
          break;
        }
        // Only a read that succeeded hands over its bytes; one that a line
        // error or a vanished device ended early gives none.
        win::DWORD got = 0;
        if (win::GetOverlappedResult(Device, &AsyncReadInfo, &got, win::FALSE) && got > 0) {
          ReceiveQueue.Put(readBuffer_, static_cast<int>(got));
          OnReceived(static_cast<int>(got));
          unannounced = false;
          NotifyHostWindows(PortName);
        }
        ReadPending = false;
        break;
      }
      case win::WAIT_OBJECT_0 + 2: {
        win::DWORD unused = 0;
        if (win::GetOverlappedResult(Device, &AsyncStatusInfo, &unused, win::FALSE)) {
          UpdateModemLines(false, reportedEvents_);
          CollectLineErrors(nullptr);
        }
        statusPending = false;
        refusals = 0;
        if (readRefused) {
          // The line event is the cue to try the refused read again.
          readRefused = false;
          ReadPending = false;
        }
        break;
      }
      case win::WAIT_OBJECT_0 + 3:
        break;  // room was made: the next pass starts a read
      default:
        FatalInternalError("receive thread wait");
    }
  }

  // The outstanding read and line-event wait point at this port's records:
  // cancel them and let the platform finish with them before the events go.
  if (ReadPending && !readRefused) {
    win::PurgeComm(Device, win::PURGE_RXABORT);
    win::WaitForSingleObject(AsyncReadInfo.hEvent, kCancelWaitMs);
  }
  if (statusPending && !statusRefused) {
    win::SetCommMask(Device, 0);
    win::WaitForSingleObject(AsyncStatusInfo.hEvent, kCancelWaitMs);
  }
  ReadPending = false;
  win::CloseHandle(AsyncReadInfo.hEvent);
  win::CloseHandle(AsyncStatusInfo.hEvent);
  AsyncReadInfo.hEvent = nullptr;
  AsyncStatusInfo.hEvent = nullptr;
}

void SerialPort::TransmitLoop() {
  // One record event for all the drains of this thread's life.
  AsyncWriteInfo = {};
  AsyncWriteInfo.hEvent = CreateRecordEvent("AsyncWriteInfo.hEvent");
  OnTransmitEmpty();
  const win::HANDLE waits[] = {StopTransmitEvent, TransmitEvent, BreakEvent};
  for (bool running = true; running;) {
    const win::DWORD r = win::WaitForMultipleObjects(3, waits, win::FALSE, win::INFINITE);
    switch (r) {
      case win::WAIT_OBJECT_0:
        running = false;
        break;
      case win::WAIT_OBJECT_0 + 1:
        running = !DrainTransmitQueue();
        break;
      case win::WAIT_OBJECT_0 + 2:
        win::SetCommBreak(Device);
        win::SleepEx(static_cast<win::DWORD>(std::max(BreakMs.load(), 0)), win::FALSE);
        win::ClearCommBreak(Device);
        break;
      default:
        FatalInternalError("transmit thread wait");
    }
  }
  win::CloseHandle(AsyncWriteInfo.hEvent);
  AsyncWriteInfo.hEvent = nullptr;
}

bool SerialPort::DrainTransmitQueue() {
  bool stopped = false;
  for (;;) {
    // Marked busy before the bytes leave TransmitQueue: a waiter that finds
    // the queue empty and then no batch knows that every byte taken so far
    // has been handed to the device (see WaitTransmitEmpty).
    TransmitBatch = MaxDeviceWrite;
    int count = TransmitQueue.Get(writeBuffer_, MaxDeviceWrite);
    if (count == 0) {
      // Announced before the second look: a caller that queues bytes after
      // it signals TransmitEvent; one that queues while this thread drains
      // signals nothing.
      waitingForBytes_ = true;
      count = TransmitQueue.Get(writeBuffer_, MaxDeviceWrite);
      if (count > 0) waitingForBytes_ = false;
    }
    TransmitBatch = count;
    if (count == 0) {
      OnTransmitEmpty();
      break;
    }
    const win::DWORD wanted = static_cast<win::DWORD>(count);
    win::DWORD written = 0;
    const win::HANDLE done = AsyncWriteInfo.hEvent;
    AsyncWriteInfo = {};
    AsyncWriteInfo.hEvent = done;
    win::ResetEvent(done);
    if (win::WriteFile(Device, writeBuffer_, wanted, &written, &AsyncWriteInfo)) {
      if (written == wanted) continue;
      RecordPlatformError();
      break;
    }
    if (win::GetLastError() != win::ERROR_IO_PENDING) {
      RecordPlatformError();
      break;
    }
    const win::HANDLE waits[] = {StopTransmitEvent, AsyncWriteInfo.hEvent};
    const win::DWORD r = win::WaitForMultipleObjects(2, waits, win::FALSE, win::INFINITE);
    if (r == win::WAIT_OBJECT_0) {
      // Abandon the write; the platform lets go of the buffer when aborted.
      win::PurgeComm(Device, win::PURGE_TXABORT);
      win::WaitForSingleObject(AsyncWriteInfo.hEvent, kCancelWaitMs);
      stopped = true;
      break;
    }
    if (r != win::WAIT_OBJECT_0 + 1) FatalInternalError("device write wait");
    if (!win::GetOverlappedResult(Device, &AsyncWriteInfo, &written, win::FALSE)) {
      RecordPlatformError();
      break;
    }
    if (written == wanted) continue;
    // A short write: the rest of this batch is dropped; sending restarts
    // with the next bytes queued.
    CollectLineErrors(nullptr);
    break;
  }
  // Ended early (an error, a short write): bytes queued from now on signal
  // again, as after an empty queue.
  waitingForBytes_ = true;
  TransmitBatch = 0;
  return stopped;
}

}  // namespace veravo
