// The engine of a virtual line: two directions, each with a driver output
// buffer in front of the wire; characters take their real time on the wire
// and are given the sender's format in force when they start to leave; the
// receiver samples them with its own format. The host end receives through a
// UART-like receive FIFO: characters are handed over when the FIFO reaches
// its trigger level or the line has been quiet for four character times, so
// a short burst reaches the host in one piece. One line thread delivers
// arrivals in batches at their arrival times and sleeps on a condition
// variable otherwise, so an idle line costs no CPU.
//
// The host end (a CommDriver, host_end.h) and the device end (device_end.h)
// are thin facades over this class.
#pragma once

#include <veravo/platform/win/comm_driver.h>
#include <veravo/sim/format_history.h>
#include <veravo/sim/line_format.h>
#include <veravo/sim/line_trace.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace veravo::sim {

using SimClock = std::chrono::steady_clock;

// One character as the device end received it.
struct RxRecord {
  win::BYTE value = 0;
  int parityBit = -1;     // the parity bit received, -1 when none
  LineFormat format;      // the format the character was sent with
  double tMs = 0;         // arrival (end of the stop bit), ms since line creation
  win::DWORD errors = 0;  // CE_RXPARITY, CE_FRAME, CE_BREAK
};

// Called on the line thread with the characters of one burst: characters
// that followed each other with gaps shorter than about two character times
// (at least 1 ms, or the minimum gap set for the device end).
using BurstHandler = std::function<void(const std::vector<RxRecord>&)>;

struct DeviceWriteOptions {
  double delayMs = 0;                // the bytes enter the output buffer this much later
  std::optional<LineFormat> format;  // send these bytes with this format instead of the device's
};

class LineCore {
 public:
  LineCore();
  ~LineCore();
  LineCore(const LineCore&) = delete;
  LineCore& operator=(const LineCore&) = delete;

  // Ends the line thread; nothing is delivered afterwards.
  void Stop();
  double NowMs() const;

  // ---- host end -----------------------------------------------------------
  // ERROR_FILE_NOT_FOUND while unplugged, ERROR_ACCESS_DENIED while open.
  win::DWORD OpenHost(std::uint64_t* generation);
  // Detaches the sink; when it returns, no callback into the sink runs or will run.
  void CloseHost(std::uint64_t generation);
  void AttachHost(std::uint64_t generation, win::CommDriverSink* sink);
  win::DWORD ConfigureHost(std::uint64_t generation, const win::DCB& dcb);
  win::DWORD HostWrite(std::uint64_t generation, const win::BYTE* data, std::size_t count,
                       std::size_t* accepted);
  std::size_t HostOutQueue(std::uint64_t generation);
  void HostPurgeOutput(std::uint64_t generation);
  win::DWORD HostSetOutputBufferSize(std::uint64_t generation, std::size_t bytes);
  win::DWORD HostModemStatus(std::uint64_t generation, win::DWORD* status);
  win::DWORD HostSetBreak(std::uint64_t generation, bool on);
  bool HostOpen() const;
  LineFormat HostFormat() const;
  // Receive FIFO trigger level of the host end (default 14; 1 hands every
  // character over as it arrives).
  void SetHostFifoTrigger(std::size_t bytes);

  // ---- device end ---------------------------------------------------------
  void SetDeviceFormat(const LineFormat& format);
  LineFormat DeviceFormat() const;
  void SetDeviceNineBit(bool on);
  void SetDeviceFollowHost(bool on);
  std::size_t DeviceWrite(const win::BYTE* data, std::size_t count, const DeviceWriteOptions& options);
  void SetDeviceOutputBufferSize(std::size_t bytes);
  std::size_t DeviceOutQueue();
  std::vector<RxRecord> DeviceRead(bool take);
  bool DeviceWaitFor(std::size_t count, std::chrono::milliseconds timeout);
  bool DeviceWaitQuiet(std::chrono::milliseconds gap, std::chrono::milliseconds timeout);
  // Replaces the handler; when it returns, the old handler is not running.
  void SetBurstHandler(BurstHandler handler);
  void SetBurstGap(std::chrono::microseconds minimum);
  void SetModemLine(win::DWORD msBit, bool on);
  bool Dtr() const;
  bool Rts() const;
  void DeviceSendBreak(int ms);
  void InjectLineError(win::DWORD errors);

  // ---- the line -------------------------------------------------------------
  void Unplug();
  void Replug();
  bool Unplugged() const;
  std::vector<TraceEntry> Trace() const;
  void SetTraceLimit(std::size_t entries);

 private:
  using TimePoint = SimClock::time_point;
  enum Side { kHostSide = 0, kDeviceSide = 1 };  // the sending end of a direction

  struct Pending {
    win::BYTE value = 0;
    TimePoint ready;
    std::optional<LineFormat> format;
    int breakMs = -1;  // >= 0: a break of that length instead of a character
  };
  struct OnWire {
    win::BYTE value = 0;
    LineFormat format;
    TimePoint start;
    TimePoint end;  // arrival; for a break, when the receiver notices it
    bool isBreak = false;
  };
  struct Direction {
    std::deque<Pending> buffer;                   // the driver output buffer
    std::multimap<TimePoint, Pending> scheduled;  // delayed device writes
    std::deque<OnWire> wire;                      // started, not yet arrived
    TimePoint wireFreeAt;
    std::size_t capacity = 512;
    bool held = false;  // the sender holds the line in the break state
  };
  // No character may start in this direction now (a break, or CTS flow).
  bool Holds(int side) const;
  struct Event {
    enum Kind { kHostLineEvent, kHostUnplugged, kDeviceRecord } kind = kHostLineEvent;
    std::uint64_t generation = 0;
    win::CommDriverSink* sink = nullptr;  // kHostUnplugged only
    win::DWORD errors = 0;
    win::DWORD events = 0;
    RxRecord record;
  };
  struct Action {
    enum Kind { kHostBytes, kHostLineEvent, kHostUnplugged, kHostOutputSpace, kBurst } kind = kHostBytes;
    win::CommDriverSink* sink = nullptr;
    std::vector<win::BYTE> bytes;
    win::DWORD errors = 0;
    win::DWORD events = 0;
    std::vector<RxRecord> burst;
    BurstHandler handler;
  };

  void Run();
  void Advance(TimePoint now);
  void Collect(TimePoint now, std::vector<Action>* actions);
  void DeliverToHost(const OnWire& byte, std::vector<Action>* actions);
  void FlushHostFifo(std::vector<Action>* actions);
  void DeliverToDevice(const OnWire& byte, std::vector<Action>* actions);
  void AppendDeviceRecord(const RxRecord& record, TimePoint arrival, std::chrono::nanoseconds byteTime,
                          std::vector<Action>* actions);
  void EndBurst(std::vector<Action>* actions);
  void AddHostEvent(win::DWORD errors, win::DWORD events, std::vector<Action>* actions);
  TimePoint NextDue() const;
  void Prune(TimePoint now);
  LineFormat SenderFormatAt(Side side, TimePoint when) const;
  LineFormat DeviceReceiverFormatAt(TimePoint when) const;
  bool HostValid(std::uint64_t generation) const;
  void AddTrace(TimePoint when, TraceDir dir, TraceKind kind, std::string note);
  void WaitCallbacksDone(std::unique_lock<std::mutex>& lock);
  double ToMs(TimePoint when) const;

  const TimePoint epoch_;
  mutable std::mutex mu_;
  std::condition_variable wake_;   // wakes the line thread
  std::condition_variable state_;  // wakes waiters on received bytes and finished callbacks
  bool stop_ = false;
  bool inCallbacks_ = false;
  TimePoint lastBatch_;
  std::thread thread_;
  std::thread::id threadId_;

  Direction dirs_[2];
  std::multimap<TimePoint, Event> events_;
  FormatHistory hostFormat_;
  FormatHistory deviceFormat_;
  bool hostCheckParity_ = false;
  bool hostCtsFlow_ = false;  // the host starts no character while the device holds CTS off
  bool deviceNineBit_ = false;
  bool deviceFollowHost_ = false;

  bool hostOpen_ = false;
  std::uint64_t hostGeneration_ = 0;
  win::CommDriverSink* sink_ = nullptr;
  std::vector<win::BYTE> heldForHost_;  // arrived after the open, before the sink was attached
  std::vector<win::BYTE> hostFifo_;     // arrived, not yet handed to the host
  TimePoint hostFifoDue_;               // when the FIFO's quiet time-out hands them over
  std::size_t hostFifoTrigger_ = 14;
  bool hostSpaceFreed_ = false;
  bool hostDrained_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  win::DWORD modem_ = 0;
  bool unplugged_ = false;

  std::deque<RxRecord> deviceRx_;
  std::vector<RxRecord> burst_;
  TimePoint burstEnd_;
  std::chrono::nanoseconds minBurstGap_ = std::chrono::milliseconds(1);
  TimePoint lastDeviceArrival_;
  BurstHandler burstHandler_;

  LineTrace trace_;
};

}  // namespace veravo::sim
