// The comm layer behind one comm handle: the input buffer, the event mask
// and WaitCommEvent, overlapped reads and writes with their time-outs, the
// accumulated line errors and PurgeComm. Bytes move to and from the line
// through a CommDriver; the driver reports back through the sink interface.
//
// Each operation returns ERROR_SUCCESS, ERROR_IO_PENDING or a Win32 error;
// the API layer turns that into the Win32 return value and last error.
#pragma once

#include <veravo/platform/win/comm_driver.h>
#include <veravo/platform/win/kernel_object.h>
#include <veravo/platform/win/timer_queue.h>
#include <veravo/platform/win/win_types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace veravo::win::detail {

class CommPort final : public KernelObject,
                       public CommDriverSink,
                       public std::enable_shared_from_this<CommPort> {
 public:
  // Input buffer size until SetupComm changes it.
  static constexpr std::size_t kDefaultInputBuffer = 4096;

  explicit CommPort(std::unique_ptr<CommDriver> driver);
  ~CommPort() override;

  // Puts the device into the default state and starts the driver. Call once,
  // after the port is owned by a shared_ptr.
  DWORD Open();
  // Completes pending operations with ERROR_OPERATION_ABORTED and stops the
  // driver.
  void Close() override;

  DWORD GetState(DCB* dcb);
  DWORD SetState(const DCB& dcb);
  DWORD GetTimeouts(COMMTIMEOUTS* timeouts);
  DWORD SetTimeouts(const COMMTIMEOUTS& timeouts);
  DWORD Setup(DWORD inQueue, DWORD outQueue);
  DWORD SetMask(DWORD mask);
  DWORD GetMask(DWORD* mask);
  DWORD WaitEvent(DWORD* eventMask, OVERLAPPED* overlapped);
  DWORD Read(BYTE* buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped);
  DWORD Write(const BYTE* data, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped);
  // The status and byte count of an overlapped operation on this port, read
  // under the port's lock.
  void OverlappedState(const OVERLAPPED* overlapped, ULONG_PTR* status, ULONG_PTR* count);
  DWORD ClearError(DWORD* errors, COMSTAT* stat);
  DWORD Purge(DWORD flags);
  DWORD ModemStatus(DWORD* status);
  DWORD SetBreak(bool on);

  // CommDriverSink
  std::size_t InputRoom() override;
  std::size_t Received(const BYTE* data, std::size_t count) override;
  void LineEvent(DWORD errors, DWORD events) override;
  void OutputSpace() override;
  void Unplugged() override;
  void WakeUp() override;

 private:
  using Clock = TimerQueue::Clock;

  struct PendingRead {
    OVERLAPPED* overlapped;
    BYTE* buffer;
    DWORD want;
    DWORD got;
    bool firstByteEnds;  // MAXDWORD interval and multiplier: any byte completes the read
    std::optional<Clock::time_point> totalDeadline;
  };
  struct PendingWrite {
    OVERLAPPED* overlapped;
    const BYTE* data;
    DWORD total;
    DWORD accepted;
    std::optional<Clock::time_point> totalDeadline;
    std::uint64_t serial;  // tells this write from a later one
  };
  struct PendingWait {
    OVERLAPPED* overlapped;
    DWORD* eventMask;
  };

  // Holds lock_. The events of operations completed meanwhile are signalled
  // at once, but the threads they release are woken only after lock_ is
  // released: so a woken thread does not block on lock_, and one waiting
  // for several completions of one pass wakes once.
  class Locked {
   public:
    explicit Locked(CommPort& port) : guard_(port.lock_) {}
    ~Locked();
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    void Unlock() { guard_.unlock(); }
    void Lock() { guard_.lock(); }

   private:
    std::unique_lock<std::mutex> guard_;
  };

  // All below run under lock_.
  DWORD UsableState() const;
  void Complete(OVERLAPPED* overlapped, DWORD status, DWORD count);
  void CompleteRead(DWORD status);
  // Ends the pending write; called by another thread than the one handing it
  // over (see pushing_).
  void CompleteWrite(DWORD status);
  // Ends the pending write at once (there is one).
  void EndWrite(DWORD status);
  void CompleteWait(DWORD status, DWORD events);
  void FailAll(DWORD status);
  void RaiseEvents(DWORD events);
  void AddErrors(DWORD errors);
  void CheckRead(Clock::time_point now);
  DWORD ArrivalEvents(const BYTE* data, std::size_t count) const;
  DWORD TakeAvailable(std::size_t max);
  void PushWrite(Locked& guard);
  void CheckTxEmpty();
  void CheckWrite(Clock::time_point now);

  // A time-out timer of the pending read or write. The token tells a live
  // timer from one that was replaced while its callback was already running.
  // A read's timer is run by the driver's thread where the driver can (no
  // id then); otherwise by the process-wide timer thread.
  struct ArmedTimer {
    std::uint64_t token;
    std::optional<TimerQueue::Id> id;
    Clock::time_point due;
  };
  void ArmTimer(std::optional<ArmedTimer>& timer, Clock::time_point due, bool forRead);
  void DisarmTimer(std::optional<ArmedTimer>& timer);
  void OnTimer(std::uint64_t token, bool forRead);

  std::mutex lock_;
  std::unique_ptr<CommDriver> driver_;
  DCB dcb_{};
  COMMTIMEOUTS timeouts_{};
  std::deque<BYTE> input_;
  std::size_t inputCapacity_ = kDefaultInputBuffer;
  Clock::time_point lastArrival_{};
  DWORD eventMask_ = 0;
  DWORD eventHistory_ = 0;
  DWORD errors_ = 0;
  bool unplugged_ = false;
  bool closed_ = false;
  bool txActive_ = false;  // output was handed over since EV_TXEMPTY was last raised
  std::optional<PendingRead> read_;
  std::optional<PendingWrite> write_;
  std::optional<PendingWait> wait_;
  std::optional<ArmedTimer> readTimer_;
  std::optional<ArmedTimer> writeTimer_;
  std::uint64_t nextTimerToken_ = 1;
  std::uint64_t nextWriteSerial_ = 1;
  // A thread is handing the pending write's bytes to the driver with lock_
  // released; another that finds more to hand over leaves it to that thread
  // (pushAgain_), so that bytes reach the driver in order. A write is ended
  // by another thread, and so the port closed, only once the hand-over is
  // over (pushDone_): the driver may still be reading the write's buffer. No
  // write ends during its hand-over but by the handing thread (EndWrite).
  bool pushing_ = false;
  bool pushAgain_ = false;
  std::condition_variable_any pushDone_;
};

}  // namespace veravo::win::detail
