#include <veravo/platform/win/comm_port.h>
#include <veravo/platform/win/event_handles.h>
#include <veravo/platform/win/nt_status.h>

#include <algorithm>
#include <cstring>

namespace veravo::win::detail {
namespace {

constexpr DWORD kMaxDword = 0xFFFFFFFFu;

std::chrono::milliseconds Ms(std::uint64_t ms) { return std::chrono::milliseconds(ms); }

// The state of a comm handle right after it was opened: 9600 baud, 8 data
// bits, no parity, one stop bit, DTR and RTS on, no flow control.
DCB DefaultDcb() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = 9600;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

// The checks Windows makes before a DCB reaches the driver.
bool ValidDcb(const DCB& dcb) {
  if (dcb.BaudRate == 0) return false;
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return false;
  if (dcb.Parity > SPACEPARITY) return false;
  if (dcb.StopBits > TWOSTOPBITS) return false;
  if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) return false;
  if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) return false;
  if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return false;
  return true;
}

}  // namespace

CommPort::CommPort(std::unique_ptr<CommDriver> driver) : driver_(std::move(driver)), dcb_(DefaultDcb()) {}

CommPort::~CommPort() { Close(); }

CommPort::Locked::~Locked() {
  guard_.unlock();
  WakeDeferred();
}

DWORD CommPort::Open() {
  {
    Locked guard(*this);
    if (DWORD error = driver_->Configure(dcb_)) return error;
  }
  // Outside the lock: a driver may start delivering at once.
  driver_->Attach(this);
  return ERROR_SUCCESS;
}

void CommPort::Close() {
  std::unique_ptr<CommDriver> driver;
  {
    Locked guard(*this);
    if (closed_) return;
    FailAll(ERROR_OPERATION_ABORTED);
    closed_ = true;
    DisarmTimer(readTimer_);
    DisarmTimer(writeTimer_);
    driver = std::move(driver_);
  }
  // Stopping the driver joins its thread, which may be waiting for lock_.
  driver.reset();
}

DWORD CommPort::UsableState() const {
  if (closed_) return ERROR_INVALID_HANDLE;
  if (unplugged_) return ERROR_BAD_COMMAND;
  return ERROR_SUCCESS;
}

// ---- settings ---------------------------------------------------------------

DWORD CommPort::GetState(DCB* dcb) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  *dcb = dcb_;
  return ERROR_SUCCESS;
}

DWORD CommPort::SetState(const DCB& dcb) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  if (!ValidDcb(dcb)) return ERROR_INVALID_PARAMETER;
  if (DWORD error = driver_->Configure(dcb)) return error;
  // What was asked for is what GetCommState reports, even where the device
  // (a pseudo-terminal, say) cannot do all of it.
  dcb_ = dcb;
  dcb_.DCBlength = sizeof(DCB);
  return ERROR_SUCCESS;
}

DWORD CommPort::GetTimeouts(COMMTIMEOUTS* timeouts) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  *timeouts = timeouts_;
  return ERROR_SUCCESS;
}

DWORD CommPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  if (timeouts.ReadIntervalTimeout == kMaxDword && timeouts.ReadTotalTimeoutMultiplier == kMaxDword &&
      timeouts.ReadTotalTimeoutConstant == kMaxDword) {
    return ERROR_INVALID_PARAMETER;
  }
  timeouts_ = timeouts;  // applies from the next read or write on
  return ERROR_SUCCESS;
}

DWORD CommPort::Setup(DWORD inQueue, DWORD outQueue) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  if (inQueue == 0) return ERROR_INVALID_PARAMETER;
  if (DWORD error = driver_->SetOutputBufferSize(outQueue)) return error;
  // Bytes beyond a smaller size stay until they are read; there is no room
  // until then. The driver looks at the room again either way.
  inputCapacity_ = inQueue;
  driver_->InputSpace();
  return ERROR_SUCCESS;
}

// ---- events -----------------------------------------------------------------

DWORD CommPort::SetMask(DWORD mask) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  eventMask_ = mask;
  eventHistory_ = 0;
  if (wait_) CompleteWait(ERROR_SUCCESS, 0);
  return ERROR_SUCCESS;
}

DWORD CommPort::GetMask(DWORD* mask) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  *mask = eventMask_;
  return ERROR_SUCCESS;
}

DWORD CommPort::WaitEvent(DWORD* eventMask, OVERLAPPED* overlapped) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  if (eventMask_ == 0 || wait_) return ERROR_INVALID_PARAMETER;
  if (overlapped->hEvent != nullptr) ResetEventHandle(overlapped->hEvent);
  if (DWORD events = eventHistory_ & eventMask_) {
    eventHistory_ = 0;
    if (eventMask != nullptr) *eventMask = events;
    Complete(overlapped, ERROR_SUCCESS, 0);
    return ERROR_SUCCESS;
  }
  overlapped->Internal = STATUS_PENDING;
  overlapped->InternalHigh = 0;
  wait_ = PendingWait{overlapped, eventMask};
  return ERROR_IO_PENDING;
}

void CommPort::RaiseEvents(DWORD events) {
  events &= eventMask_;
  if (events == 0) return;
  if (wait_) {
    CompleteWait(ERROR_SUCCESS, events);
  } else {
    eventHistory_ |= events;  // completes the next WaitCommEvent at once
  }
}

// ---- reading ----------------------------------------------------------------

DWORD CommPort::Read(BYTE* buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  if (buffer == nullptr && toRead > 0) return ERROR_INVALID_PARAMETER;
  if (errors_ != 0 && dcb_.fAbortOnError) return ERROR_OPERATION_ABORTED;
  if (read_) return ERROR_INVALID_PARAMETER;  // one read at a time per handle
  if (overlapped->hEvent != nullptr) ResetEventHandle(overlapped->hEvent);

  // Bytes the device holds now have arrived as far as the reader can tell:
  // they are taken here, as many as the driver's thread could have passed
  // on (the free buffer and this read), so that the read needs no hand-off
  // through that thread and the buffer stays full while the device has more.
  const std::size_t free = inputCapacity_ > input_.size() ? inputCapacity_ - input_.size() : 0;
  DWORD events = TakeAvailable(free + toRead);
  DWORD got = static_cast<DWORD>(std::min<std::size_t>(toRead, input_.size()));
  std::copy_n(input_.begin(), got, buffer);
  input_.erase(input_.begin(), input_.begin() + got);
  if (events != 0) {
    if (input_.size() * 5 >= inputCapacity_ * 4) events |= EV_RX80FULL;
    RaiseEvents(events);
  }
  // A driver that stopped reading because the buffer was full resumes once
  // half of it is free, not after every read that takes a few bytes: each
  // resumption costs its thread a wake-up, and the bytes still buffered
  // keep the reader going meanwhile.
  if (got > 0 && input_.size() * 2 <= inputCapacity_) driver_->InputSpace();

  const Clock::time_point now = Clock::now();
  const COMMTIMEOUTS& t = timeouts_;
  PendingRead pending{overlapped, buffer, toRead, got, false, std::nullopt};
  bool done = got == toRead;
  if (!done && t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    done = true;  // return at once with what is there
  } else if (!done && t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword) {
    // Return at once with what is there; with nothing there, wait for the
    // first byte for at most the constant.
    done = got > 0;
    pending.firstByteEnds = true;
    pending.totalDeadline = now + Ms(t.ReadTotalTimeoutConstant);
  } else if (!done) {
    if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
      pending.totalDeadline =
          now + Ms(std::uint64_t{t.ReadTotalTimeoutMultiplier} * toRead + t.ReadTotalTimeoutConstant);
    }
  }
  if (done) {
    Complete(overlapped, ERROR_SUCCESS, got);
    if (read != nullptr) *read = got;
    return ERROR_SUCCESS;
  }
  if (read != nullptr) *read = 0;
  overlapped->Internal = STATUS_PENDING;
  overlapped->InternalHigh = 0;
  read_ = pending;
  CheckRead(now);  // bytes already there may have been quiet long enough
  if (read_) return ERROR_IO_PENDING;
  if (read != nullptr) *read = static_cast<DWORD>(overlapped->InternalHigh);
  return ERROR_SUCCESS;
}

// Completes the pending read when its count is reached or one of its
// time-outs has run out; otherwise arms the timer for the next deadline.
void CommPort::CheckRead(Clock::time_point now) {
  if (!read_) return;
  const PendingRead& r = *read_;
  const DWORD interval = timeouts_.ReadIntervalTimeout;
  const bool intervalRuns = !r.firstByteEnds && interval != 0 && interval != kMaxDword && r.got > 0;
  const Clock::time_point intervalDue = lastArrival_ + Ms(interval);
  if (r.got == r.want || (r.firstByteEnds && r.got > 0) || (r.totalDeadline && now >= *r.totalDeadline) ||
      (intervalRuns && now >= intervalDue)) {
    CompleteRead(ERROR_SUCCESS);
    return;
  }
  std::optional<Clock::time_point> next = r.totalDeadline;
  if (intervalRuns && (!next || intervalDue < *next)) next = intervalDue;
  if (next) ArmTimer(readTimer_, *next, true);
}

void CommPort::CompleteRead(DWORD status) {
  if (!read_) return;
  PendingRead r = *read_;
  read_.reset();
  DisarmTimer(readTimer_);
  Complete(r.overlapped, status, r.got);
}

std::size_t CommPort::InputRoom() {
  Locked guard(*this);
  if (closed_ || unplugged_) return 0;
  std::size_t room = inputCapacity_ > input_.size() ? inputCapacity_ - input_.size() : 0;
  if (read_) room += read_->want - read_->got;
  return room;
}

std::size_t CommPort::Received(const BYTE* data, std::size_t count) {
  Locked guard(*this);
  if (closed_ || unplugged_ || count == 0) return 0;
  const Clock::time_point now = Clock::now();
  lastArrival_ = now;
  std::size_t kept = 0;
  if (read_) {
    // A pending read takes the bytes first; its buffer was emptied of the
    // input buffer when it started.
    std::size_t n = std::min<std::size_t>(count, read_->want - read_->got);
    std::memcpy(read_->buffer + read_->got, data, n);
    read_->got += static_cast<DWORD>(n);
    kept = n;
  }
  std::size_t room = inputCapacity_ > input_.size() ? inputCapacity_ - input_.size() : 0;
  std::size_t buffered = std::min(count - kept, room);
  input_.insert(input_.end(), data + kept, data + kept + buffered);
  kept += buffered;

  DWORD events = ArrivalEvents(data, kept);
  if (input_.size() * 5 >= inputCapacity_ * 4) events |= EV_RX80FULL;
  // The read first: a reader waiting for both is woken by its bytes.
  CheckRead(now);
  RaiseEvents(events);
  if (kept < count) AddErrors(CE_RXOVER);
  return kept;
}

// The events that `count` bytes arriving raise, but for the buffer's fill.
DWORD CommPort::ArrivalEvents(const BYTE* data, std::size_t count) const {
  DWORD events = count > 0 ? EV_RXCHAR : 0;
  if (dcb_.EvtChar != 0 && std::memchr(data, static_cast<unsigned char>(dcb_.EvtChar), count) != nullptr) {
    events |= EV_RXFLAG;
  }
  return events;
}

// Appends up to `max` bytes the device holds now to the input buffer (the
// caller has bounded `max` by the room it may fill). Returns the events of
// their arrival, but for the buffer's fill.
DWORD CommPort::TakeAvailable(std::size_t max) {
  BYTE chunk[4096];
  DWORD events = 0;
  while (max > 0) {
    const std::size_t asked = std::min(max, sizeof chunk);
    const std::size_t n = driver_->ReadAvailable(chunk, asked);
    if (n == 0) break;
    input_.insert(input_.end(), chunk, chunk + n);
    events |= ArrivalEvents(chunk, n);
    max -= n;
    if (n < asked) break;
  }
  if (events != 0) lastArrival_ = Clock::now();
  return events;
}

// ---- writing ----------------------------------------------------------------

DWORD CommPort::Write(const BYTE* data, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  if (data == nullptr && toWrite > 0) return ERROR_INVALID_PARAMETER;
  if (errors_ != 0 && dcb_.fAbortOnError) return ERROR_OPERATION_ABORTED;
  if (write_) return ERROR_INVALID_PARAMETER;  // one write at a time per handle
  if (overlapped->hEvent != nullptr) ResetEventHandle(overlapped->hEvent);
  if (written != nullptr) *written = 0;
  if (toWrite == 0) {
    Complete(overlapped, ERROR_SUCCESS, 0);
    return ERROR_SUCCESS;
  }
  overlapped->Internal = STATUS_PENDING;
  overlapped->InternalHigh = 0;
  PendingWrite pending{overlapped, data, toWrite, 0, std::nullopt, nextWriteSerial_++};
  const COMMTIMEOUTS& t = timeouts_;
  if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0) {
    pending.totalDeadline = Clock::now() + Ms(std::uint64_t{t.WriteTotalTimeoutMultiplier} * toWrite +
                                              t.WriteTotalTimeoutConstant);
  }
  write_ = pending;
  PushWrite(guard);
  // Another thread handing over an earlier write takes this one on too.
  if (write_ && write_->serial == pending.serial) {
    if (write_->totalDeadline) ArmTimer(writeTimer_, *write_->totalDeadline, false);
    return ERROR_IO_PENDING;
  }
  CheckTxEmpty();
  if (overlapped->Internal != 0) return static_cast<DWORD>(ErrorFromNtStatus(overlapped->Internal));
  if (written != nullptr) *written = static_cast<DWORD>(overlapped->InternalHigh);
  return ERROR_SUCCESS;
}

// Hands the pending write's bytes to the driver as far as it takes them.
// The driver is called with lock_ released: a device write can take a while
// (the kernel wakes its own workers), and reads, line events and status
// calls of other threads must not wait for it.
void CommPort::PushWrite(Locked& guard) {
  if (pushing_) {
    pushAgain_ = true;
    return;
  }
  pushing_ = true;
  do {
    pushAgain_ = false;
    while (write_ && write_->accepted < write_->total) {
      const PendingWrite w = *write_;
      CommDriver* driver = driver_.get();
      std::size_t accepted = 0;
      guard.Unlock();
      const DWORD error = driver->Write(w.data + w.accepted, w.total - w.accepted, &accepted);
      guard.Lock();
      if (accepted > 0) txActive_ = true;
      // Still the same write: no other thread ends one during its hand-over
      // (see CompleteWrite).
      write_->accepted += static_cast<DWORD>(accepted);
      if (error != ERROR_SUCCESS) {
        EndWrite(error);
        break;
      }
      if (accepted == 0) break;
    }
    if (write_ && write_->accepted == write_->total) EndWrite(ERROR_SUCCESS);
  } while (pushAgain_);
  pushing_ = false;
  pushDone_.notify_all();
}

void CommPort::CheckWrite(Clock::time_point now) {
  // A write that runs out of time completes successfully with what the
  // driver took so far.
  if (write_ && write_->totalDeadline && now >= *write_->totalDeadline) CompleteWrite(ERROR_SUCCESS);
}

void CommPort::CompleteWrite(DWORD status) {
  if (!write_) return;
  if (pushing_) {
    // The driver may be reading this write's buffer: the writer may reuse
    // the buffer once the write has ended, so it ends after the hand-over.
    const std::uint64_t serial = write_->serial;
    pushDone_.wait(lock_, [this] { return !pushing_; });
    if (!write_ || write_->serial != serial) return;  // the hand-over ended it
  }
  EndWrite(status);
}

void CommPort::EndWrite(DWORD status) {
  PendingWrite w = *write_;
  write_.reset();
  DisarmTimer(writeTimer_);
  Complete(w.overlapped, status, w.accepted);
}

void CommPort::CheckTxEmpty() {
  if (write_ || !txActive_ || driver_->OutQueue() != 0) return;
  txActive_ = false;
  RaiseEvents(EV_TXEMPTY);
}

void CommPort::OutputSpace() {
  Locked guard(*this);
  if (closed_ || unplugged_) return;
  PushWrite(guard);
  CheckTxEmpty();
}

// ---- completion ---------------------------------------------------------------

void CommPort::Complete(OVERLAPPED* overlapped, DWORD status, DWORD count) {
  overlapped->Internal = NtStatusFromError(status);
  overlapped->InternalHigh = count;
  if (overlapped->hEvent != nullptr) SignalEventHandleDeferred(overlapped->hEvent);
}

void CommPort::CompleteWait(DWORD status, DWORD events) {
  if (!wait_) return;
  PendingWait w = *wait_;
  wait_.reset();
  if (w.eventMask != nullptr) *w.eventMask = events;
  Complete(w.overlapped, status, 0);
}

void CommPort::FailAll(DWORD status) {
  CompleteRead(status);
  CompleteWrite(status);
  CompleteWait(status, 0);
}

void CommPort::OverlappedState(const OVERLAPPED* overlapped, ULONG_PTR* status, ULONG_PTR* count) {
  Locked guard(*this);
  *status = ErrorFromNtStatus(overlapped->Internal);
  *count = overlapped->InternalHigh;
}

// ---- errors, purge, modem lines ---------------------------------------------

void CommPort::AddErrors(DWORD errors) {
  if (errors == 0) return;
  errors_ |= errors;
  if (dcb_.fAbortOnError) {
    CompleteRead(ERROR_OPERATION_ABORTED);
    CompleteWrite(ERROR_OPERATION_ABORTED);
  }
}

void CommPort::LineEvent(DWORD errors, DWORD events) {
  Locked guard(*this);
  if (closed_ || unplugged_) return;
  AddErrors(errors);
  RaiseEvents(events);
}

DWORD CommPort::ClearError(DWORD* errors, COMSTAT* stat) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  if (errors != nullptr) *errors = errors_;
  errors_ = 0;
  if (stat != nullptr) {
    *stat = COMSTAT{};
    stat->cbInQue = static_cast<DWORD>(input_.size());
    std::size_t unsent = write_ ? write_->total - write_->accepted : 0;
    stat->cbOutQue = static_cast<DWORD>(unsent + driver_->OutQueue());
  }
  return ERROR_SUCCESS;
}

DWORD CommPort::Purge(DWORD flags) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  if ((flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0) {
    return ERROR_INVALID_PARAMETER;
  }
  if (flags & PURGE_TXABORT) CompleteWrite(ERROR_OPERATION_ABORTED);
  if (flags & PURGE_RXABORT) CompleteRead(ERROR_OPERATION_ABORTED);
  if (flags & PURGE_TXCLEAR) driver_->PurgeOutput();
  if (flags & PURGE_RXCLEAR) {
    input_.clear();
    driver_->InputSpace();
  }
  return ERROR_SUCCESS;
}

DWORD CommPort::ModemStatus(DWORD* status) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  return driver_->ModemStatus(status);
}

DWORD CommPort::SetBreak(bool on) {
  Locked guard(*this);
  if (DWORD error = UsableState()) return error;
  return driver_->SetBreak(on);
}

void CommPort::Unplugged() {
  Locked guard(*this);
  if (closed_ || unplugged_) return;
  unplugged_ = true;
  FailAll(ERROR_BAD_COMMAND);
}

// ---- time-outs ----------------------------------------------------------------

void CommPort::ArmTimer(std::optional<ArmedTimer>& timer, Clock::time_point due, bool forRead) {
  // A timer that fires earlier stays: its callback checks again and arms
  // the later deadline then. This keeps a stream of arrivals from
  // rescheduling on every byte.
  if (timer && timer->due <= due) return;
  DisarmTimer(timer);
  std::uint64_t token = nextTimerToken_++;
  // The driver's thread ends the read itself: no hand-off to the timer
  // thread between the quiet gap and the completion.
  if (forRead && driver_->WakeSinkAt(due)) {
    timer = ArmedTimer{token, std::nullopt, due};
    return;
  }
  std::weak_ptr<CommPort> self = weak_from_this();
  TimerQueue::Id id = TimerQueue::Instance().Schedule(due, [self, token, forRead] {
    if (auto port = self.lock()) port->OnTimer(token, forRead);
  });
  timer = ArmedTimer{token, id, due};
}

void CommPort::DisarmTimer(std::optional<ArmedTimer>& timer) {
  if (!timer) return;
  // A wake-up the driver still has due only makes WakeUp look again.
  if (timer->id) TimerQueue::Instance().Cancel(*timer->id);
  timer.reset();
}

void CommPort::WakeUp() {
  Locked guard(*this);
  if (closed_ || unplugged_ || !readTimer_ || readTimer_->id) return;
  const Clock::time_point now = Clock::now();
  if (now < readTimer_->due) {
    driver_->WakeSinkAt(readTimer_->due);
    return;
  }
  readTimer_.reset();
  CheckRead(now);
}

void CommPort::OnTimer(std::uint64_t token, bool forRead) {
  Locked guard(*this);
  std::optional<ArmedTimer>& timer = forRead ? readTimer_ : writeTimer_;
  if (!timer || timer->token != token) return;
  timer.reset();
  if (forRead) {
    CheckRead(Clock::now());
  } else {
    CheckWrite(Clock::now());
  }
}

}  // namespace veravo::win::detail
