#include <veravo/sim/frame_sampling.h>
#include <veravo/sim/line_core.h>

#include <algorithm>

namespace veravo::sim {

using namespace std::chrono_literals;

namespace {

// After a batch of deliveries the line thread sleeps at least this long, so
// that a fast line delivers in batches rather than one wake-up per character.
constexpr auto kBatchQuantum = 200us;
constexpr std::size_t kDeviceRecordLimit = 1000000;

}  // namespace

LineCore::LineCore() : epoch_(SimClock::now()) {
  dirs_[kHostSide].wireFreeAt = epoch_;
  dirs_[kDeviceSide].wireFreeAt = epoch_;
  thread_ = std::thread([this] { Run(); });
}

LineCore::~LineCore() { Stop(); }

void LineCore::Stop() {
  {
    std::lock_guard lock(mu_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id()) thread_.join();
}

double LineCore::ToMs(TimePoint when) const {
  return std::chrono::duration<double, std::milli>(when - epoch_).count();
}

double LineCore::NowMs() const { return ToMs(SimClock::now()); }

void LineCore::AddTrace(TimePoint when, TraceDir dir, TraceKind kind, std::string note) {
  TraceEntry e;
  e.tMs = ToMs(when);
  e.dir = dir;
  e.kind = kind;
  e.note = std::move(note);
  trace_.Add(std::move(e));
}

LineFormat LineCore::SenderFormatAt(Side side, TimePoint when) const {
  if (side == kHostSide || deviceFollowHost_) return hostFormat_.At(when);
  return deviceFormat_.At(when);
}

LineFormat LineCore::DeviceReceiverFormatAt(TimePoint when) const {
  return deviceFollowHost_ ? hostFormat_.At(when) : deviceFormat_.At(when);
}

bool LineCore::HostValid(std::uint64_t generation) const {
  return hostOpen_ && generation == hostGeneration_ && !unplugged_;
}

void LineCore::WaitCallbacksDone(std::unique_lock<std::mutex>& lock) {
  if (std::this_thread::get_id() == threadId_) return;
  state_.wait(lock, [this] { return !inCallbacks_; });
}

// ---- the line thread ---------------------------------------------------------

void LineCore::Run() {
  std::unique_lock lock(mu_);
  threadId_ = std::this_thread::get_id();
  while (!stop_) {
    TimePoint now = SimClock::now();
    Advance(now);
    std::vector<Action> actions;
    Collect(now, &actions);
    Prune(now);
    if (!actions.empty()) {
      inCallbacks_ = true;
      lock.unlock();
      for (Action& a : actions) {
        switch (a.kind) {
          case Action::kHostBytes:
            a.sink->Received(a.bytes.data(), a.bytes.size());
            break;
          case Action::kHostLineEvent:
            a.sink->LineEvent(a.errors, a.events);
            break;
          case Action::kHostUnplugged:
            a.sink->Unplugged();
            break;
          case Action::kHostOutputSpace:
            a.sink->OutputSpace();
            break;
          case Action::kBurst:
            a.handler(a.burst);
            break;
        }
      }
      lock.lock();
      inCallbacks_ = false;
      lastBatch_ = now;
      state_.notify_all();
      continue;
    }
    TimePoint next = NextDue();
    if (next == TimePoint::max()) {
      wake_.wait(lock);
    } else {
      wake_.wait_until(lock, std::max(next, lastBatch_ + kBatchQuantum));
    }
  }
}

// Moves every character whose time to start has come from its output buffer
// onto the wire, giving it the sender's format in force at that moment.
void LineCore::Advance(TimePoint now) {
  for (Side side : {kHostSide, kDeviceSide}) {
    Direction& d = dirs_[side];
    while (!d.scheduled.empty() && d.scheduled.begin()->first <= now) {
      d.buffer.push_back(d.scheduled.begin()->second);
      d.scheduled.erase(d.scheduled.begin());
    }
    TraceDir dir = side == kHostSide ? TraceDir::kTx : TraceDir::kRx;
    while (!d.buffer.empty() && !Holds(side)) {
      const Pending& p = d.buffer.front();
      TimePoint start = std::max(p.ready, d.wireFreeAt);
      if (start > now) break;
      OnWire w;
      w.value = p.value;
      w.start = start;
      w.format = p.format ? *p.format : SenderFormatAt(side, start);
      if (p.breakMs >= 0) {
        TimePoint release = start + std::chrono::milliseconds(p.breakMs);
        w.isBreak = true;
        w.end = std::min(release, start + w.format.ByteTime());
        d.wireFreeAt = release;
        AddTrace(start, dir, TraceKind::kBreak, std::to_string(p.breakMs) + " ms");
      } else {
        w.end = start + w.format.ByteTime();
        d.wireFreeAt = w.end;
        TraceEntry e;
        e.tMs = ToMs(start);
        e.dir = dir;
        e.value = w.value;
        e.format = w.format;
        e.parityBit = ParityBitFor(w.value, w.format);
        trace_.Add(std::move(e));
      }
      d.wire.push_back(w);
      d.buffer.pop_front();
      if (side == kHostSide) hostSpaceFreed_ = true;
    }
  }
}

// Takes, in time order, every arrival and event that is due, and turns them
// into the callbacks to make once the lock is released.
void LineCore::Collect(TimePoint now, std::vector<Action>* actions) {
  if (sink_ != nullptr && !heldForHost_.empty()) {
    Action a;
    a.kind = Action::kHostBytes;
    a.sink = sink_;
    a.bytes.swap(heldForHost_);
    actions->push_back(std::move(a));
  }
  std::deque<OnWire>& toHost = dirs_[kDeviceSide].wire;
  std::deque<OnWire>& toDevice = dirs_[kHostSide].wire;
  while (true) {
    TimePoint tHost = toHost.empty() ? TimePoint::max() : toHost.front().end;
    TimePoint tDevice = toDevice.empty() ? TimePoint::max() : toDevice.front().end;
    TimePoint tEvent = events_.empty() ? TimePoint::max() : events_.begin()->first;
    TimePoint first = std::min({tHost, tDevice, tEvent});
    if (first > now) break;
    if (tEvent == first) {
      Event ev = events_.begin()->second;
      events_.erase(events_.begin());
      if (ev.kind == Event::kHostUnplugged) {
        Action a;
        a.kind = Action::kHostUnplugged;
        a.sink = ev.sink;
        actions->push_back(std::move(a));
      } else if (ev.kind == Event::kHostLineEvent) {
        if (HostValid(ev.generation)) {
          FlushHostFifo(actions);
          AddHostEvent(ev.errors, ev.events, actions);
        }
      } else {
        AppendDeviceRecord(ev.record, first, ev.record.format.ByteTime(), actions);
      }
    } else if (tHost == first) {
      OnWire w = toHost.front();
      toHost.pop_front();
      DeliverToHost(w, actions);
    } else {
      OnWire w = toDevice.front();
      toDevice.pop_front();
      DeliverToDevice(w, actions);
    }
  }
  if (!hostFifo_.empty() && hostFifoDue_ <= now) FlushHostFifo(actions);
  if (!burst_.empty() && burstEnd_ <= now) EndBurst(actions);
  if ((hostSpaceFreed_ || hostDrained_) && hostOpen_ && sink_ != nullptr && !unplugged_) {
    Action a;
    a.kind = Action::kHostOutputSpace;
    a.sink = sink_;
    actions->push_back(std::move(a));
  }
  hostSpaceFreed_ = false;
  hostDrained_ = false;
}

void LineCore::AddHostEvent(win::DWORD errors, win::DWORD events, std::vector<Action>* actions) {
  if (sink_ == nullptr) return;
  Action a;
  a.kind = Action::kHostLineEvent;
  a.sink = sink_;
  a.errors = errors;
  a.events = events;
  actions->push_back(std::move(a));
}

void LineCore::FlushHostFifo(std::vector<Action>* actions) {
  if (hostFifo_.empty()) return;
  if (sink_ == nullptr) {
    heldForHost_.insert(heldForHost_.end(), hostFifo_.begin(), hostFifo_.end());
  } else {
    Action a;
    a.kind = Action::kHostBytes;
    a.sink = sink_;
    a.bytes.swap(hostFifo_);
    actions->push_back(std::move(a));
  }
  hostFifo_.clear();
}

void LineCore::DeliverToHost(const OnWire& w, std::vector<Action>* actions) {
  if (!hostOpen_ || unplugged_) return;  // nobody listens: the character is lost
  if (w.isBreak) {
    FlushHostFifo(actions);
    AddHostEvent(win::CE_BREAK, win::EV_BREAK, actions);
    return;
  }
  std::optional<FollowingByte> following;
  const std::deque<OnWire>& rest = dirs_[kDeviceSide].wire;
  if (!rest.empty() && !rest.front().isBreak && rest.front().start == w.end) {
    following = FollowingByte{rest.front().value, rest.front().format};
  }
  SampledByte s = SampleFrame(w.value, w.format, hostFormat_.At(w.end), following);
  if (!hostCheckParity_) s.errors &= ~win::CE_RXPARITY;
  if (!hostFifo_.empty() && w.end > hostFifoDue_) FlushHostFifo(actions);  // the time-out came first
  if (s.errors != 0) {
    // A character with a line error is reported at once, as a UART's line
    // status does: the clean characters before it, then the error, then the
    // character, so the error is recorded before the character can be read.
    FlushHostFifo(actions);
    AddHostEvent(s.errors, win::EV_ERR, actions);
    hostFifo_.push_back(s.value);
    FlushHostFifo(actions);
    return;
  }
  hostFifo_.push_back(s.value);
  hostFifoDue_ = w.end + 4 * hostFormat_.At(w.end).ByteTime();
  if (hostFifo_.size() >= hostFifoTrigger_) FlushHostFifo(actions);
}

void LineCore::DeliverToDevice(const OnWire& w, std::vector<Action>* actions) {
  const Direction& from = dirs_[kHostSide];
  if (from.buffer.empty() && from.wire.empty() && from.scheduled.empty()) hostDrained_ = true;
  RxRecord r;
  r.format = w.format;
  r.tMs = ToMs(w.end);
  if (w.isBreak) {
    r.errors = win::CE_BREAK;
  } else {
    LineFormat receiver = DeviceReceiverFormatAt(w.end);
    SampledByte s;
    if (deviceNineBit_) {
      s = RecordAsSent(w.value, w.format, receiver.baud);
    } else {
      std::optional<FollowingByte> following;
      if (!from.wire.empty() && !from.wire.front().isBreak && from.wire.front().start == w.end) {
        following = FollowingByte{from.wire.front().value, from.wire.front().format};
      }
      s = SampleFrame(w.value, w.format, receiver, following);
    }
    r.value = s.value;
    r.parityBit = s.parityBit;
    r.errors = s.errors;
  }
  AppendDeviceRecord(r, w.end, w.format.ByteTime(), actions);
}

void LineCore::AppendDeviceRecord(const RxRecord& record, TimePoint arrival,
                                  std::chrono::nanoseconds byteTime, std::vector<Action>* actions) {
  if (!burst_.empty() && arrival > burstEnd_) EndBurst(actions);
  deviceRx_.push_back(record);
  if (deviceRx_.size() > kDeviceRecordLimit) deviceRx_.pop_front();
  if (burstHandler_) burst_.push_back(record);
  lastDeviceArrival_ = arrival;
  burstEnd_ = arrival + std::max<std::chrono::nanoseconds>(2 * byteTime, minBurstGap_);
  state_.notify_all();
}

void LineCore::EndBurst(std::vector<Action>* actions) {
  if (burstHandler_) {
    Action a;
    a.kind = Action::kBurst;
    a.handler = burstHandler_;
    a.burst.swap(burst_);
    actions->push_back(std::move(a));
  }
  burst_.clear();
}

bool LineCore::Holds(int side) const {
  return dirs_[side].held || (side == kHostSide && hostCtsFlow_ && (modem_ & win::MS_CTS_ON) == 0);
}

LineCore::TimePoint LineCore::NextDue() const {
  TimePoint next = TimePoint::max();
  for (int side : {kHostSide, kDeviceSide}) {
    const Direction& d = dirs_[side];
    if (!d.buffer.empty() && !Holds(side))
      next = std::min(next, std::max(d.buffer.front().ready, d.wireFreeAt));
    if (!d.scheduled.empty()) next = std::min(next, d.scheduled.begin()->first);
    if (!d.wire.empty()) next = std::min(next, d.wire.front().end);
  }
  if (!events_.empty()) next = std::min(next, events_.begin()->first);
  if (!burst_.empty()) next = std::min(next, burstEnd_);
  if (!hostFifo_.empty()) next = std::min(next, hostFifoDue_);
  if (sink_ != nullptr && !heldForHost_.empty()) next = SimClock::now();
  return next;
}

// Drops format changes that no character still to be sent or received can
// need: every later lookup is at or after the earliest pending moment.
void LineCore::Prune(TimePoint now) {
  TimePoint horizon = now;
  for (const Direction& d : dirs_) {
    if (!d.buffer.empty()) horizon = std::min(horizon, std::max(d.buffer.front().ready, d.wireFreeAt));
    if (!d.scheduled.empty()) horizon = std::min(horizon, d.scheduled.begin()->first);
    if (!d.wire.empty()) horizon = std::min(horizon, d.wire.front().start);
  }
  hostFormat_.Prune(horizon);
  deviceFormat_.Prune(horizon);
}

// ---- host end ----------------------------------------------------------------

win::DWORD LineCore::OpenHost(std::uint64_t* generation) {
  std::lock_guard lock(mu_);
  if (unplugged_) return win::ERROR_FILE_NOT_FOUND;
  if (hostOpen_) return win::ERROR_ACCESS_DENIED;
  hostOpen_ = true;
  *generation = ++hostGeneration_;
  sink_ = nullptr;
  heldForHost_.clear();
  hostFifo_.clear();
  dirs_[kHostSide].capacity = 512;
  dtr_ = rts_ = true;
  AddTrace(SimClock::now(), TraceDir::kTx, TraceKind::kOpen, "");
  return 0;
}

void LineCore::CloseHost(std::uint64_t generation) {
  std::unique_lock lock(mu_);
  for (auto it = events_.begin(); it != events_.end();) {
    bool hostEvent = it->second.kind != Event::kDeviceRecord;
    it = hostEvent && it->second.generation == generation ? events_.erase(it) : std::next(it);
  }
  if (hostOpen_ && generation == hostGeneration_) {
    hostOpen_ = false;
    sink_ = nullptr;
    heldForHost_.clear();
    hostFifo_.clear();
    dtr_ = rts_ = false;
    AddTrace(SimClock::now(), TraceDir::kTx, TraceKind::kClose, "");
  }
  WaitCallbacksDone(lock);
}

void LineCore::AttachHost(std::uint64_t generation, win::CommDriverSink* sink) {
  {
    std::lock_guard lock(mu_);
    if (!HostValid(generation)) return;
    sink_ = sink;
  }
  wake_.notify_all();
}

win::DWORD LineCore::ConfigureHost(std::uint64_t generation, const win::DCB& dcb) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > win::SPACEPARITY ||
      dcb.StopBits > win::TWOSTOPBITS) {
    return win::ERROR_INVALID_PARAMETER;
  }
  std::lock_guard lock(mu_);
  if (!HostValid(generation)) return win::ERROR_BAD_COMMAND;
  TimePoint now = SimClock::now();
  Advance(now);  // characters that started before the change keep the old format
  LineFormat format = LineFormat::FromDcb(dcb);
  if (!(format == hostFormat_.Current())) hostFormat_.Set(now, format);
  hostCheckParity_ = dcb.fParity != 0;
  hostCtsFlow_ = dcb.fOutxCtsFlow != 0;
  bool dtr = dcb.fDtrControl != win::DTR_CONTROL_DISABLE;
  bool rts = dcb.fRtsControl != win::RTS_CONTROL_DISABLE;
  if (dtr != dtr_) AddTrace(now, TraceDir::kTx, TraceKind::kControlLine, dtr ? "DTR on" : "DTR off");
  if (rts != rts_) AddTrace(now, TraceDir::kTx, TraceKind::kControlLine, rts ? "RTS on" : "RTS off");
  dtr_ = dtr;
  rts_ = rts;
  return 0;
}

win::DWORD LineCore::HostWrite(std::uint64_t generation, const win::BYTE* data, std::size_t count,
                               std::size_t* accepted) {
  *accepted = 0;
  {
    std::lock_guard lock(mu_);
    if (!HostValid(generation)) return win::ERROR_BAD_COMMAND;
    TimePoint now = SimClock::now();
    Advance(now);
    Direction& d = dirs_[kHostSide];
    std::size_t room = d.buffer.size() >= d.capacity ? 0 : d.capacity - d.buffer.size();
    std::size_t n = std::min(room, count);
    for (std::size_t i = 0; i < n; ++i) d.buffer.push_back(Pending{data[i], now, std::nullopt, -1});
    *accepted = n;
    Advance(now);
  }
  wake_.notify_all();
  return 0;
}

std::size_t LineCore::HostOutQueue(std::uint64_t generation) {
  std::lock_guard lock(mu_);
  if (!HostValid(generation)) return 0;
  TimePoint now = SimClock::now();
  Advance(now);
  const Direction& d = dirs_[kHostSide];
  std::size_t onWire = static_cast<std::size_t>(
      std::count_if(d.wire.begin(), d.wire.end(), [&](const OnWire& w) { return w.end > now; }));
  return d.buffer.size() + onWire;
}

void LineCore::HostPurgeOutput(std::uint64_t generation) {
  std::lock_guard lock(mu_);
  if (!HostValid(generation)) return;
  Advance(SimClock::now());
  dirs_[kHostSide].buffer.clear();
}

win::DWORD LineCore::HostSetOutputBufferSize(std::uint64_t generation, std::size_t bytes) {
  std::lock_guard lock(mu_);
  if (!HostValid(generation)) return win::ERROR_BAD_COMMAND;
  if (bytes == 0) return win::ERROR_INVALID_PARAMETER;
  dirs_[kHostSide].capacity = bytes;
  return 0;
}

win::DWORD LineCore::HostModemStatus(std::uint64_t generation, win::DWORD* status) {
  std::lock_guard lock(mu_);
  if (!HostValid(generation)) return win::ERROR_BAD_COMMAND;
  *status = modem_;
  return 0;
}

win::DWORD LineCore::HostSetBreak(std::uint64_t generation, bool on) {
  {
    std::lock_guard lock(mu_);
    if (!HostValid(generation)) return win::ERROR_BAD_COMMAND;
    TimePoint now = SimClock::now();
    Advance(now);
    Direction& d = dirs_[kHostSide];
    if (d.held == on) return 0;
    d.held = on;
    AddTrace(now, TraceDir::kTx, TraceKind::kBreak, on ? "on" : "off");
    if (!on) {
      d.wireFreeAt = std::max(d.wireFreeAt, now);
      Event ev;
      ev.kind = Event::kDeviceRecord;
      ev.record.format = hostFormat_.Current();
      ev.record.tMs = ToMs(now);
      ev.record.errors = win::CE_BREAK;
      events_.emplace(now, ev);
    }
  }
  wake_.notify_all();
  return 0;
}

bool LineCore::HostOpen() const {
  std::lock_guard lock(mu_);
  return hostOpen_;
}

void LineCore::SetHostFifoTrigger(std::size_t bytes) {
  std::lock_guard lock(mu_);
  hostFifoTrigger_ = bytes == 0 ? 1 : bytes;
}

LineFormat LineCore::HostFormat() const {
  std::lock_guard lock(mu_);
  return hostFormat_.Current();
}

// ---- device end ----------------------------------------------------------------

void LineCore::SetDeviceFormat(const LineFormat& format) {
  std::lock_guard lock(mu_);
  TimePoint now = SimClock::now();
  Advance(now);
  deviceFormat_.Set(now, format);
}

LineFormat LineCore::DeviceFormat() const {
  std::lock_guard lock(mu_);
  return deviceFollowHost_ ? hostFormat_.Current() : deviceFormat_.Current();
}

void LineCore::SetDeviceNineBit(bool on) {
  std::lock_guard lock(mu_);
  deviceNineBit_ = on;
}

void LineCore::SetDeviceFollowHost(bool on) {
  std::lock_guard lock(mu_);
  Advance(SimClock::now());
  deviceFollowHost_ = on;
}

std::size_t LineCore::DeviceWrite(const win::BYTE* data, std::size_t count,
                                  const DeviceWriteOptions& options) {
  std::size_t n = 0;
  {
    std::lock_guard lock(mu_);
    if (unplugged_) return 0;
    TimePoint now = SimClock::now();
    Advance(now);
    Direction& d = dirs_[kDeviceSide];
    if (options.delayMs > 0) {
      TimePoint due = now + std::chrono::duration_cast<SimClock::duration>(
                                std::chrono::duration<double, std::milli>(options.delayMs));
      for (std::size_t i = 0; i < count; ++i)
        d.scheduled.emplace(due, Pending{data[i], due, options.format, -1});
      n = count;
    } else {
      std::size_t room = d.buffer.size() >= d.capacity ? 0 : d.capacity - d.buffer.size();
      n = std::min(room, count);
      for (std::size_t i = 0; i < n; ++i) d.buffer.push_back(Pending{data[i], now, options.format, -1});
      Advance(now);
    }
  }
  wake_.notify_all();
  return n;
}

void LineCore::SetDeviceOutputBufferSize(std::size_t bytes) {
  std::lock_guard lock(mu_);
  dirs_[kDeviceSide].capacity = bytes == 0 ? 1 : bytes;
}

std::size_t LineCore::DeviceOutQueue() {
  std::lock_guard lock(mu_);
  TimePoint now = SimClock::now();
  Advance(now);
  const Direction& d = dirs_[kDeviceSide];
  std::size_t onWire = static_cast<std::size_t>(
      std::count_if(d.wire.begin(), d.wire.end(), [&](const OnWire& w) { return w.end > now; }));
  return d.buffer.size() + d.scheduled.size() + onWire;
}

std::vector<RxRecord> LineCore::DeviceRead(bool take) {
  std::lock_guard lock(mu_);
  std::vector<RxRecord> out(deviceRx_.begin(), deviceRx_.end());
  if (take) deviceRx_.clear();
  return out;
}

bool LineCore::DeviceWaitFor(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  return state_.wait_for(lock, timeout, [&] { return deviceRx_.size() >= count; });
}

bool LineCore::DeviceWaitQuiet(std::chrono::milliseconds gap, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  TimePoint deadline = SimClock::now() + timeout;
  while (true) {
    TimePoint now = SimClock::now();
    const Direction& from = dirs_[kHostSide];
    bool idle = from.buffer.empty() && from.wire.empty();
    if (!deviceRx_.empty() && idle && now - lastDeviceArrival_ >= gap) return true;
    if (now >= deadline) return false;
    TimePoint until = deadline;
    if (!deviceRx_.empty() && idle) until = std::min(until, lastDeviceArrival_ + gap);
    state_.wait_until(lock, until);
  }
}

void LineCore::SetBurstHandler(BurstHandler handler) {
  std::unique_lock lock(mu_);
  burstHandler_ = std::move(handler);
  burst_.clear();
  WaitCallbacksDone(lock);
}

void LineCore::SetBurstGap(std::chrono::microseconds minimum) {
  std::lock_guard lock(mu_);
  minBurstGap_ = std::max<std::chrono::nanoseconds>(minimum, 1ms);
}

void LineCore::SetModemLine(win::DWORD msBit, bool on) {
  {
    std::lock_guard lock(mu_);
    bool was = (modem_ & msBit) != 0;
    if (was == on) return;
    modem_ = on ? (modem_ | msBit) : (modem_ & ~msBit);
    win::DWORD event = 0;
    const char* name = "";
    switch (msBit) {
      case win::MS_CTS_ON:
        event = win::EV_CTS;
        name = "CTS";
        break;
      case win::MS_DSR_ON:
        event = win::EV_DSR;
        name = "DSR";
        break;
      case win::MS_RLSD_ON:
        event = win::EV_RLSD;
        name = "RLSD";
        break;
      case win::MS_RING_ON:
        event = on ? win::EV_RING : win::EV_RINGTE;
        name = "RING";
        break;
      default:
        return;
    }
    TimePoint now = SimClock::now();
    AddTrace(now, TraceDir::kRx, TraceKind::kModemLine, std::string(name) + (on ? " on" : " off"));
    if (hostOpen_) {
      Event ev;
      ev.kind = Event::kHostLineEvent;
      ev.generation = hostGeneration_;
      ev.events = event;
      events_.emplace(now, ev);
    }
  }
  wake_.notify_all();
}

bool LineCore::Dtr() const {
  std::lock_guard lock(mu_);
  return dtr_;
}

bool LineCore::Rts() const {
  std::lock_guard lock(mu_);
  return rts_;
}

void LineCore::DeviceSendBreak(int ms) {
  {
    std::lock_guard lock(mu_);
    if (unplugged_) return;
    TimePoint now = SimClock::now();
    Advance(now);
    dirs_[kDeviceSide].buffer.push_back(Pending{0, now, std::nullopt, std::max(ms, 0)});
    Advance(now);
  }
  wake_.notify_all();
}

void LineCore::InjectLineError(win::DWORD errors) {
  {
    std::lock_guard lock(mu_);
    TimePoint now = SimClock::now();
    std::string note;
    for (auto [bit, name] :
         {std::pair{win::CE_RXPARITY, "CE_RXPARITY"}, std::pair{win::CE_FRAME, "CE_FRAME"},
          std::pair{win::CE_OVERRUN, "CE_OVERRUN"}, std::pair{win::CE_BREAK, "CE_BREAK"}}) {
      if (errors & bit) note += note.empty() ? name : std::string(" ") + name;
    }
    AddTrace(now, TraceDir::kRx, TraceKind::kLineError, note);
    if (hostOpen_) {
      Event ev;
      ev.kind = Event::kHostLineEvent;
      ev.generation = hostGeneration_;
      ev.errors = errors;
      ev.events = win::EV_ERR | ((errors & win::CE_BREAK) ? win::EV_BREAK : 0);
      events_.emplace(now, ev);
    }
  }
  wake_.notify_all();
}

// ---- the line ------------------------------------------------------------------

void LineCore::Unplug() {
  {
    std::lock_guard lock(mu_);
    if (unplugged_) return;
    TimePoint now = SimClock::now();
    unplugged_ = true;
    AddTrace(now, TraceDir::kTx, TraceKind::kUnplug, "");
    for (Direction& d : dirs_) {
      d.buffer.clear();
      d.scheduled.clear();
      d.wire.clear();
      d.held = false;
      d.wireFreeAt = now;
    }
    for (auto it = events_.begin(); it != events_.end();) {
      it = it->second.kind == Event::kHostLineEvent ? events_.erase(it) : std::next(it);
    }
    if (hostOpen_ && sink_ != nullptr) {
      Event ev;
      ev.kind = Event::kHostUnplugged;
      ev.generation = hostGeneration_;
      ev.sink = sink_;
      events_.emplace(now, ev);
    }
    hostOpen_ = false;
    sink_ = nullptr;
    heldForHost_.clear();
    hostFifo_.clear();
    dtr_ = rts_ = false;
  }
  wake_.notify_all();
}

void LineCore::Replug() {
  std::lock_guard lock(mu_);
  if (!unplugged_) return;
  unplugged_ = false;
  AddTrace(SimClock::now(), TraceDir::kTx, TraceKind::kReplug, "");
}

bool LineCore::Unplugged() const {
  std::lock_guard lock(mu_);
  return unplugged_;
}

std::vector<TraceEntry> LineCore::Trace() const {
  std::lock_guard lock(mu_);
  return trace_.Snapshot();
}

void LineCore::SetTraceLimit(std::size_t entries) {
  std::lock_guard lock(mu_);
  trace_.SetLimit(entries);
}

}  // namespace veravo::sim
