// Pieces the benchmarks share: process CPU time, the far end of a raw
// pseudo-terminal, an overlapped comm handle set up as the engine sets up
// its ports, and figures reported beside their raw baseline.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/platform/ports/pseudo_terminal.h>
#include <veravo/platform/win/win.h>
#include <veravo/serial/_SerialPort.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace veravo::bench {

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Context switches of the whole process so far, voluntary and not: a count
// that a loaded machine disturbs far less than a time.
inline double ContextSwitches() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw);
}

// The master side of a new pseudo-terminal in raw mode; *slave gets the
// device path. `flags` adds O_NONBLOCK, say.
inline int OpenRawMaster(std::string* slave, int flags = 0) {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY | flags);
  if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) std::abort();
  *slave = ptsname(fd);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// An overlapped comm handle on a new pseudo-terminal with 512-byte buffers
// and reads ended by a 1 ms quiet gap. Exits the program when that fails.
struct CommOnPty {
  std::unique_ptr<PseudoTerminal> pty;
  win::HANDLE port = win::INVALID_HANDLE_VALUE;
};

inline CommOnPty OpenCommOnPty() {
  CommOnPty c;
  std::string why;
  c.pty = PseudoTerminal::Open(&why);
  if (!c.pty) {
    std::fprintf(stderr, "pty: %s\n", why.c_str());
    std::exit(1);
  }
  c.port = win::CreateFileA(c.pty->DevicePath().c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                            win::OPEN_EXISTING, win::FILE_FLAG_OVERLAPPED, nullptr);
  if (c.port == win::INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "open failed: %u\n", win::GetLastError());
    std::exit(1);
  }
  win::SetupComm(c.port, 512, 512);
  win::COMMTIMEOUTS timeouts{1, 0, 0, 0, 0};
  win::SetCommTimeouts(c.port, &timeouts);
  return c;
}

// Times `rounds` exchanges through an open port, as a host polls for a
// reply: 8 bytes out, then zero-wait reads until 16 bytes came back (or 2 s
// passed). One figure a round, in microseconds.
inline std::vector<double> TimeExchanges(SerialPort& port, int rounds) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> us;
  const char request[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  char reply[17];
  for (int r = 0; r < rounds; ++r) {
    const auto t0 = Clock::now();
    port.Write(request, 8, 1000, nullptr);
    unsigned got = 0;
    const auto deadline = t0 + std::chrono::seconds(2);
    while (got < 16 && Clock::now() < deadline) {
      port.Read(reply + got, static_cast<int>(16 - got), 0);
      got += port.ByteCount;
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  return us;
}

// Reports `value` as counter `name`, the raw baseline measured in the same
// run as `name`_raw and their ratio as `name`_x_raw, so that a reader on
// another machine can judge the figure.
inline void Beside(benchmark::State& state, const std::string& name, double value, double raw) {
  state.counters[name] = value;
  state.counters[name + "_raw"] = raw;
  state.counters[name + "_x_raw"] = raw != 0 ? value / raw : 0;
}

}  // namespace veravo::bench
