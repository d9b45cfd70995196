#include "pty_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/devices/device_factory.h>
#include <veravo/sim/virtual_line.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace veravo::cli {

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

class Handle {
 public:
  explicit Handle(win::HANDLE h = nullptr) : h_(h) {}
  ~Handle() {
    if (h_ && h_ != win::INVALID_HANDLE_VALUE) win::CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  win::HANDLE get() const { return h_; }

 private:
  win::HANDLE h_;
};

// Bytes from the pseudo-terminal go to the line's host end, which the
// simulated device on the far end receives.
void PtyToLine(int master, win::HANDLE line, const std::atomic<bool>& stop) {
  Handle event(win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr));
  unsigned char buffer[512];
  while (!stop) {
    pollfd p{master, POLLIN, 0};
    int rc = ::poll(&p, 1, 100);
    if (rc <= 0 || !(p.revents & POLLIN)) {
      // No reader on the slave side yet (POLLHUP) or nothing to read.
      if (rc > 0) ::usleep(50000);
      continue;
    }
    ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) {
      ::usleep(50000);
      continue;
    }
    win::OVERLAPPED ov{};
    ov.hEvent = event.get();
    win::DWORD written = 0;
    if (!win::WriteFile(line, buffer, static_cast<win::DWORD>(n), &written, &ov) &&
        win::GetLastError() == win::ERROR_IO_PENDING) {
      win::GetOverlappedResult(line, &ov, &written, win::TRUE);
    }
  }
}

// Bytes the device answers come out of the host end and go to the
// pseudo-terminal.
void LineToPty(int master, win::HANDLE line, win::HANDLE stopEvent) {
  Handle event(win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr));
  unsigned char buffer[256];
  for (;;) {
    win::OVERLAPPED ov{};
    ov.hEvent = event.get();
    win::DWORD got = 0;
    if (!win::ReadFile(line, buffer, sizeof buffer, &got, &ov)) {
      if (win::GetLastError() != win::ERROR_IO_PENDING) return;
      win::HANDLE waits[2] = {stopEvent, event.get()};
      if (win::WaitForMultipleObjects(2, waits, win::FALSE, win::INFINITE) != win::WAIT_OBJECT_0 + 1) {
        win::PurgeComm(line, win::PURGE_RXABORT);
        return;
      }
      if (!win::GetOverlappedResult(line, &ov, &got, win::FALSE)) return;
    }
    std::size_t done = 0;
    while (done < got) {
      ssize_t n = ::write(master, buffer + done, got - done);
      if (n < 0 && errno != EAGAIN && errno != EINTR) break;
      if (n > 0) done += static_cast<std::size_t>(n);
      if (n < 0) ::usleep(1000);
    }
  }
}

}  // namespace

int RunPtySim(const PtySimOptions& options, const std::atomic<bool>& stop, std::ostream& out,
              std::ostream& err) {
  std::string why;
  auto device = sim::MakeSimDevice(options.device, &why);
  if (!device) {
    err << "error: unknown simulated device '" << options.device << "'" << (why.empty() ? "" : ": " + why)
        << "\n";
    return 2;
  }
  if (options.baud <= 0) {
    err << "error: the baud rate must be positive\n";
    return 2;
  }

  Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (master.get() < 0 || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
    err << "error: cannot make a pseudo-terminal: " << std::strerror(errno) << "\n";
    return 1;
  }
  const char* slaveName = ::ptsname(master.get());
  std::string slavePath = slaveName ? slaveName : "";
  // Holding the slave open keeps the master readable while no client is
  // connected; raw mode so that the bytes pass unchanged.
  Fd slave(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  termios tio{};
  if (slave.get() >= 0 && ::tcgetattr(slave.get(), &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(slave.get(), TCSANOW, &tio);
  }
  if (::tcgetattr(master.get(), &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(master.get(), TCSANOW, &tio);
  }
  if (!options.link.empty()) {
    ::unlink(options.link.c_str());
    if (::symlink(slavePath.c_str(), options.link.c_str()) != 0) {
      err << "error: cannot link " << options.link << ": " << std::strerror(errno) << "\n";
      return 1;
    }
  }

  std::string lineName = "veravo-pty-sim-" + std::to_string(::getpid());
  auto line = sim::VirtualLine::create(lineName);
  sim::SimDevice* dev = device.get();
  line->AttachDevice(std::move(device));
  Handle host(win::CreateFileA(lineName.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                               win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr));
  if (host.get() == win::INVALID_HANDLE_VALUE) {
    err << "error: cannot open the virtual line (" << win::GetLastError() << ")\n";
    return 1;
  }
  win::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  win::GetCommState(host.get(), &dcb);
  std::string settings = std::to_string(options.baud) + ",N,8,1";
  win::BuildCommDCBA(settings.c_str(), &dcb);
  win::SetCommState(host.get(), &dcb);
  win::COMMTIMEOUTS timeouts{1, 0, 0, 0, 0};
  win::SetCommTimeouts(host.get(), &timeouts);
  win::SetupComm(host.get(), 4096, 4096);

  out << slavePath << std::endl;
  out << "simulated " << dev->family() << " at " << options.baud << " baud on " << slavePath
      << (options.link.empty() ? "" : " (linked from " + options.link + ")") << "; stop with Ctrl-C"
      << std::endl;

  Handle stopEvent(win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr));
  std::thread toLine(PtyToLine, master.get(), host.get(), std::cref(stop));
  std::thread toPty(LineToPty, master.get(), host.get(), stopEvent.get());

  std::size_t shown = 0;
  auto showNewLogEntries = [&] {
    auto log = dev->Log();
    for (; shown < log.size(); ++shown) {
      const sim::SimLogEntry& e = log[shown];
      char stamp[32];
      std::snprintf(stamp, sizeof stamp, "%10.3f", e.tMs);
      out << stamp << " ms  " << e.kind << ": " << e.text;
      if (!e.bytes.empty()) out << "  [" << sim::HexOf(e.bytes) << "]";
      out << std::endl;
    }
  };
  while (!stop) {
    showNewLogEntries();
    ::usleep(50000);
  }
  showNewLogEntries();
  win::SetEvent(stopEvent.get());
  toLine.join();
  toPty.join();
  if (!options.link.empty()) ::unlink(options.link.c_str());
  sim::VirtualLine::remove(lineName);
  return 0;
}

}  // namespace veravo::cli
