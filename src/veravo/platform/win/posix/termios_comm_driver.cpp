#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/platform/win/posix/termios_comm_driver.h>
#include <veravo/platform/win/posix/termios_custom_baud.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace veravo::win::detail {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kDefaultOutputBuffer = 4096;
// The most bytes one read or write of the device moves.
constexpr std::size_t kDeviceChunk = 4096;
// Modem lines and error counters are polled at this period, only on devices
// that have them.
constexpr std::chrono::milliseconds kStatusPollPeriod(100);
// How long before the sink's wake-up the I/O thread stops sleeping and spins:
// a little more than a timer's usual lateness here (17 to 45 us).
constexpr std::chrono::microseconds kSinkWakeLead(50);

std::optional<speed_t> StandardSpeed(DWORD baud) {
  static constexpr std::pair<DWORD, speed_t> kSpeeds[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000}};
  for (const auto& [rate, speed] : kSpeeds) {
    if (rate == baud) return speed;
  }
  return std::nullopt;
}

DWORD OpenError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_FILE_NOT_FOUND;
  }
}

bool DeviceGone(int error) { return error == EIO || error == ENXIO || error == ENODEV || error == EBADF; }

class TermiosCommDriver final : public CommDriver {
 public:
  TermiosCommDriver(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {
    int lines = 0;
    hasModemLines_ = ioctl(fd_, TIOCMGET, &lines) == 0;
    modemLines_ = lines;
    serial_icounter_struct counters{};
    hasCounters_ = ioctl(fd_, TIOCGICOUNT, &counters) == 0;
    counters_ = counters;
  }

  ~TermiosCommDriver() override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_ = true;
    }
    Wake();
    if (thread_.joinable()) thread_.join();
    ioctl(fd_, TIOCNXCL);
    close(fd_);  // also drops the flock
    close(wakeFd_);
  }

  void Attach(CommDriverSink* sink) override {
    sink_ = sink;
    thread_ = std::thread([this] { Run(); });
  }

  DWORD Configure(const DCB& dcb) override {
    if (!ValidLineFormat(dcb)) return ERROR_INVALID_PARAMETER;
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return DeviceGone(errno) ? ERROR_BAD_COMMAND : ERROR_GEN_FAILURE;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
      case ODDPARITY:
        tio.c_cflag |= PARENB | PARODD;
        break;
      case EVENPARITY:
        tio.c_cflag |= PARENB;
        break;
      case MARKPARITY:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
      case SPACEPARITY:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
      default:
        break;
    }
    // One and a half stop bits: a UART sends 1.5 for CSTOPB with 5 data bits.
    if (dcb.StopBits != ONESTOPBIT) tio.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (dcb.fOutX) tio.c_iflag |= IXON;
    if (dcb.fInX) tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    // Reads never wait inside the kernel: the I/O thread polls and the comm
    // layer times the read intervals itself.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    std::optional<speed_t> speed = StandardSpeed(dcb.BaudRate);
    cfsetispeed(&tio, speed.value_or(B38400));
    cfsetospeed(&tio, speed.value_or(B38400));
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
      if (errno != EINVAL) return ERROR_GEN_FAILURE;
      if (!KeptAllButFraming(tio)) return ERROR_INVALID_PARAMETER;
    }
    if (!speed && !SetCustomBaudRate(fd_, dcb.BaudRate)) return ERROR_INVALID_PARAMETER;
    // DTR and RTS levels; modem ioctls fail on a pty, which is fine.
    int dtr = TIOCM_DTR;
    int rts = TIOCM_RTS;
    ioctl(fd_, dcb.fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr);
    if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE) {
      ioctl(fd_, dcb.fRtsControl == RTS_CONTROL_ENABLE ? TIOCMBIS : TIOCMBIC, &rts);
    }
    std::lock_guard<std::mutex> guard(lock_);
    baud_ = dcb.BaudRate;
    return ERROR_SUCCESS;
  }

  // A Linux pseudo-terminal keeps the speed, CSTOPB, PARODD, CMSPAR and
  // CRTSCTS it is given but always holds CS8 without PARENB: it carries no
  // framing. The C library reads the state back after setting it and reports
  // EINVAL when a request changed nothing on the device yet asked for bits it
  // does not hold, which is the case whenever the same parity or word size is
  // set twice in a row (a change of format moves CMSPAR, PARODD or the speed
  // and passes). A device that holds everything asked for but the word size
  // and the parity enable has taken the state as far as it can carry one, so
  // the write counts as done; the handle still reports what was set. A real
  // UART keeps PARENB and CSIZE and never takes this path.
  bool KeptAllButFraming(const termios& wanted) const {
    termios kept{};
    if (tcgetattr(fd_, &kept) != 0) return false;
    constexpr tcflag_t kFraming = CSIZE | PARENB;
    return (kept.c_cflag & ~kFraming) == (wanted.c_cflag & ~kFraming) && kept.c_iflag == wanted.c_iflag &&
           kept.c_oflag == wanted.c_oflag && kept.c_lflag == wanted.c_lflag &&
           cfgetispeed(&kept) == cfgetispeed(&wanted) && cfgetospeed(&kept) == cfgetospeed(&wanted) &&
           kept.c_cc[VMIN] == wanted.c_cc[VMIN] && kept.c_cc[VTIME] == wanted.c_cc[VTIME] &&
           kept.c_cc[VSTART] == wanted.c_cc[VSTART] && kept.c_cc[VSTOP] == wanted.c_cc[VSTOP];
  }

  DWORD Write(const BYTE* data, std::size_t count, std::size_t* accepted) override {
    *accepted = 0;
    std::unique_lock<std::mutex> guard(lock_);
    if (gone_) return ERROR_BAD_COMMAND;
    if (out_.empty()) {
      // Nothing queued ahead: straight to the kernel, no thread hop.
      ssize_t n = write(fd_, data, count);
      if (n > 0) {
        *accepted = static_cast<std::size_t>(n);
        watchDrain_ = true;
        ++directWrites_;
      }
    }
    std::size_t room = outCapacity_ > out_.size() ? outCapacity_ - out_.size() : 0;
    std::size_t queued = std::min(room, count - *accepted);
    out_.insert(out_.end(), data + *accepted, data + *accepted + queued);
    *accepted += queued;
    // An I/O thread already timing the drain of earlier bytes looks again
    // by itself; waking it for every write would cost a hop each.
    bool wake = !out_.empty() || (watchDrain_ && !drainTimed_ && KernelOutQueue() > 0);
    guard.unlock();
    if (wake) Wake();
    return ERROR_SUCCESS;
  }

  std::size_t OutQueue() override {
    std::lock_guard<std::mutex> guard(lock_);
    return out_.size() + KernelOutQueue();
  }

  void PurgeOutput() override {
    std::lock_guard<std::mutex> guard(lock_);
    out_.clear();
    tcflush(fd_, TCOFLUSH);
  }

  DWORD SetOutputBufferSize(std::size_t bytes) override {
    std::lock_guard<std::mutex> guard(lock_);
    outCapacity_ = bytes > 0 ? bytes : kDefaultOutputBuffer;
    return ERROR_SUCCESS;
  }

  DWORD ModemStatus(DWORD* status) override {
    *status = 0;
    if (!hasModemLines_) return ERROR_SUCCESS;  // a pty has no modem lines
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) return DeviceGone(errno) ? ERROR_BAD_COMMAND : ERROR_GEN_FAILURE;
    *status = ModemBits(lines);
    return ERROR_SUCCESS;
  }

  DWORD SetBreak(bool on) override {
    if (ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0) {
      return DeviceGone(errno) ? ERROR_BAD_COMMAND : ERROR_GEN_FAILURE;
    }
    return ERROR_SUCCESS;
  }

  void InputSpace() override {
    if (inputStalled_.exchange(false)) Wake();
  }

  std::size_t ReadAvailable(BYTE* buffer, std::size_t max) override {
    // The I/O thread holds readLock_ from its read until the sink has the
    // bytes; the caller holds the sink's lock, so it must not wait here.
    std::unique_lock<std::mutex> reading(readLock_, std::try_to_lock);
    if (!reading || gone_) return 0;
    std::size_t n = TakeStaged(buffer, max);
    // A device that has gone is found by the I/O thread's poll.
    if (n < max && FillStaged() > 0) n += TakeStaged(buffer + n, max - n);
    return n;
  }

  bool WakeSinkAt(Clock::time_point due) override {
    bool wake = false;
    {
      std::lock_guard<std::mutex> guard(lock_);
      wakeSinkAt_ = due;
      // The I/O thread works the new time into its next poll by itself, and
      // one that wakes by this time anyway looks again then.
      wake = std::this_thread::get_id() != thread_.get_id() && (!sleepsUntil_ || due < *sleepsUntil_);
    }
    if (wake) Wake();
    return true;
  }

 private:
  static DWORD ModemBits(int lines) {
    DWORD bits = 0;
    if (lines & TIOCM_CTS) bits |= MS_CTS_ON;
    if (lines & TIOCM_DSR) bits |= MS_DSR_ON;
    if (lines & TIOCM_RI) bits |= MS_RING_ON;
    if (lines & TIOCM_CD) bits |= MS_RLSD_ON;
    return bits;
  }

  std::size_t KernelOutQueue() {
    int queued = 0;
    return ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 ? static_cast<std::size_t>(queued) : 0;
  }

  void Wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
  }

  // The I/O thread: reads while the comm layer has room, writes what the
  // kernel takes, reports a drained output, a vanished device, and modem
  // line and error counter changes.
  void Run() {
    // Read intervals are timed to the millisecond on this thread: ask the
    // kernel not to batch its wake-ups (the default slack is 50 us).
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    BYTE chunk[kDeviceChunk];
    Clock::time_point nextStatusPoll = Clock::now() + kStatusPollPeriod;
    const bool pollStatus = hasModemLines_ || hasCounters_;
    for (;;) {
      bool wantOutput = false;
      bool drainWatch = false;
      DWORD baud = 9600;
      std::optional<Clock::time_point> wakeSinkAt;
      std::uint64_t directWrites = 0;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (stop_) return;
        wantOutput = !out_.empty() && !gone_;
        drainWatch = watchDrain_ && !gone_;
        drainTimed_ = drainWatch && !wantOutput;
        directWrites = directWrites_;
        baud = baud_;
        wakeSinkAt = wakeSinkAt_;
        sleepsUntil_ = wakeSinkAt;
      }
      // Announced before the look at the room: room made after the look
      // then wakes this thread.
      inputStalled_ = true;
      std::size_t room = gone_ ? 0 : sink_->InputRoom();
      if (room > 0) inputStalled_ = false;
      std::size_t staged = 0;
      {
        std::lock_guard<std::mutex> reading(readLock_);
        staged = Staged();
        // Staged bytes go to the sink as soon as it has room, before any
        // wait.
        if (staged > 0 && room > 0) {
          DeliverStaged(room);
          continue;
        }
      }

      int timeout = -1;
      if (drainWatch && !wantOutput) {
        // Until the kernel's output queue is empty, look again after about
        // the time the queued bytes take on the line.
        std::size_t queued = KernelOutQueue();
        if (queued == 0) {
          {
            std::lock_guard<std::mutex> guard(lock_);
            // Bytes written straight to the kernel since the look keep the
            // watch on.
            if (directWrites_ == directWrites) watchDrain_ = false;
            drainTimed_ = false;
          }
          sink_->OutputSpace();
          continue;
        }
        timeout =
            static_cast<int>(std::clamp<std::uint64_t>(queued * 10000ull / std::max<DWORD>(baud, 1), 1, 50));
      }
      if (pollStatus && !gone_) {
        auto untilPoll = std::chrono::duration_cast<std::chrono::milliseconds>(nextStatusPoll - Clock::now());
        int ms = static_cast<int>(std::max<std::int64_t>(untilPoll.count(), 0));
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
      }
      // Milliseconds above, microseconds for the sink's wake-up.
      std::optional<std::chrono::microseconds> wait;
      if (timeout >= 0) wait = std::chrono::milliseconds(timeout);
      if (wakeSinkAt) {
        auto untilWake = std::chrono::ceil<std::chrono::microseconds>(*wakeSinkAt - Clock::now());
        untilWake = std::max(untilWake, std::chrono::microseconds(0));
        // A timer wakes a sleeping thread some tens of microseconds late
        // (on a virtual CPU most of all), and the sink's wake-up ends a
        // read's quiet gap: sleep until shortly before it and spin the rest,
        // so that the gap ends when it is due rather than that much later.
        // Only the wake-up that ends the wait spins.
        if (untilWake > kSinkWakeLead) {
          untilWake -= kSinkWakeLead;
        } else if (!wait || *wait >= untilWake) {
          while (Clock::now() < *wakeSinkAt) {
          }
          untilWake = std::chrono::microseconds(0);
        }
        wait = wait ? std::min(*wait, untilWake) : untilWake;
      }

      pollfd fds[2] = {{fd_, 0, 0}, {wakeFd_, POLLIN, 0}};
      if (!gone_) {
        if (staged == 0) fds[0].events |= POLLIN;
        if (wantOutput) fds[0].events |= POLLOUT;
      } else {
        fds[0].fd = -1;  // nothing more to do on the device; wait to be stopped
      }
      timespec waitSpec{};
      if (wait) {
        waitSpec.tv_sec = static_cast<time_t>(wait->count() / 1000000);
        waitSpec.tv_nsec = static_cast<long>(wait->count() % 1000000 * 1000);
      }
      if (ppoll(fds, 2, wait ? &waitSpec : nullptr, nullptr) < 0) {
        for (pollfd& p : fds) p.revents = 0;
      }
      if (fds[1].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t n = read(wakeFd_, &count, sizeof count);
      }
      if (gone_) {
        WakeSinkIfDue();
        continue;
      }

      if (fds[0].revents & POLLIN) {
        // Held until the sink has the bytes, so that a reader taking bytes
        // itself (ReadAvailable) cannot pass them. The sink only tries for
        // this lock, so holding it across the call cannot deadlock.
        std::unique_lock<std::mutex> reading(readLock_);
        // A reader may have emptied the terminal meanwhile (EAGAIN then).
        const ssize_t n = Staged() == 0 ? FillStaged() : 0;
        if (n < 0 && DeviceGone(errno)) {
          reading.unlock();
          Gone();
          continue;
        }
        // Ask again: the room may have shrunk while polling (SetupComm).
        if (Staged() > 0 && (room = sink_->InputRoom()) > 0) DeliverStaged(room);
      }
      if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        Gone();
        continue;
      }
      if (fds[0].revents & POLLOUT) {
        bool wrote = false;
        {
          std::lock_guard<std::mutex> guard(lock_);
          std::size_t n = std::min(out_.size(), kDeviceChunk);
          std::copy_n(out_.begin(), n, chunk);
          ssize_t written = write(fd_, chunk, n);
          if (written > 0) {
            out_.erase(out_.begin(), out_.begin() + written);
            watchDrain_ = true;
            wrote = true;
          }
        }
        if (wrote) sink_->OutputSpace();
      }
      if (pollStatus && Clock::now() >= nextStatusPoll) {
        nextStatusPoll = Clock::now() + kStatusPollPeriod;
        PollStatus();
      }
      // After the bytes that came in meanwhile: they restart a read's gap.
      WakeSinkIfDue();
    }
  }

  // The staging buffer, under readLock_. Bytes are read from the terminal a
  // whole buffer at a time, however little the sink has room for: each read
  // that frees room in a full terminal makes the kernel refill it, so small
  // reads cost far more than large ones. Bytes staged are bytes the
  // terminal still holds as far as the comm layer can tell; none is dropped.
  std::size_t Staged() const { return stagedEnd_ - stagedStart_; }
  std::size_t TakeStaged(BYTE* buffer, std::size_t max) {
    const std::size_t n = std::min(max, Staged());
    std::memcpy(buffer, staged_ + stagedStart_, n);
    stagedStart_ += n;
    return n;
  }
  // Reads into an empty staging buffer. Returns the count read, or -1 with
  // errno set.
  ssize_t FillStaged() {
    stagedStart_ = stagedEnd_ = 0;
    const ssize_t n = read(fd_, staged_, sizeof staged_);
    if (n > 0) stagedEnd_ = static_cast<std::size_t>(n);
    return n;
  }
  // Hands the sink as much of the staging buffer as it has room for.
  void DeliverStaged(std::size_t room) {
    const std::size_t n = std::min(room, Staged());
    sink_->Received(staged_ + stagedStart_, n);
    stagedStart_ += n;
  }

  void WakeSinkIfDue() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (!wakeSinkAt_ || Clock::now() < *wakeSinkAt_) return;
      wakeSinkAt_.reset();
    }
    sink_->WakeUp();
  }

  void Gone() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      gone_ = true;
      out_.clear();
    }
    sink_->Unplugged();
  }

  // Turns changes of the modem lines and of the error counters since the
  // last look into line events.
  void PollStatus() {
    DWORD errors = 0;
    DWORD events = 0;
    int lines = 0;
    if (hasModemLines_ && ioctl(fd_, TIOCMGET, &lines) == 0) {
      int changed = lines ^ modemLines_;
      if (changed & TIOCM_CTS) events |= EV_CTS;
      if (changed & TIOCM_DSR) events |= EV_DSR;
      if (changed & TIOCM_CD) events |= EV_RLSD;
      if (changed & TIOCM_RI) events |= (lines & TIOCM_RI) ? EV_RING : EV_RINGTE;
      modemLines_ = lines;
    }
    serial_icounter_struct counters{};
    if (hasCounters_ && ioctl(fd_, TIOCGICOUNT, &counters) == 0) {
      if (counters.frame != counters_.frame) errors |= CE_FRAME;
      if (counters.parity != counters_.parity) errors |= CE_RXPARITY;
      if (counters.overrun != counters_.overrun || counters.buf_overrun != counters_.buf_overrun) {
        errors |= CE_OVERRUN;
      }
      if (counters.brk != counters_.brk) {
        errors |= CE_BREAK;
        events |= EV_BREAK;
      }
      if (errors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN)) events |= EV_ERR;
      counters_ = counters;
    }
    if (errors != 0 || events != 0) sink_->LineEvent(errors, events);
  }

  const int fd_;
  const int wakeFd_;
  CommDriverSink* sink_ = nullptr;
  std::thread thread_;
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
  int modemLines_ = 0;                 // I/O thread only
  serial_icounter_struct counters_{};  // I/O thread only
  std::atomic<bool> gone_{false};      // written by the I/O thread under lock_
  std::mutex readLock_;                // held from a read of the device until the sink has its bytes
  BYTE staged_[kDeviceChunk];          // bytes read from the device, not yet taken by the sink
  std::size_t stagedStart_ = 0;
  std::size_t stagedEnd_ = 0;

  std::mutex lock_;
  bool stop_ = false;
  std::deque<BYTE> out_;
  std::size_t outCapacity_ = kDefaultOutputBuffer;
  bool watchDrain_ = false;         // bytes went to the kernel; report when its queue is empty
  bool drainTimed_ = false;         // the I/O thread polls with a time-out to look at the drain again
  std::uint64_t directWrites_ = 0;  // writes that went straight to the kernel
  DWORD baud_ = 9600;
  std::optional<Clock::time_point> wakeSinkAt_;   // when the sink asked to be woken
  std::optional<Clock::time_point> sleepsUntil_;  // the I/O thread's next wake-up for the sink at the latest
  // The I/O thread polls without reading because the sink had no room.
  std::atomic<bool> inputStalled_{false};
};

}  // namespace

DWORD OpenTermiosCommDriver(const std::string& path, std::unique_ptr<CommDriver>* driver) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenError(errno);
  // Something that is not a tty is not a serial device: "not found".
  if (!isatty(fd)) {
    close(fd);
    return ERROR_FILE_NOT_FOUND;
  }
  // TIOCEXCL keeps other openers out, except root; the lock keeps out every
  // other handle that goes through this library, root's included.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    DWORD error = OpenError(errno);
    close(fd);
    return error;
  }
  ioctl(fd, TIOCEXCL);
  int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd < 0) {
    close(fd);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  *driver = std::make_unique<TermiosCommDriver>(fd, wakeFd);
  return ERROR_SUCCESS;
}

}  // namespace veravo::win::detail
