// Read-completion latency with a 1 ms interval time-out: the time from the
// far end writing the last byte of a burst into a pseudo-terminal to the
// completion of the overlapped read that receives it. Prints p50, p99 and
// the maximum over N bursts (1000 unless given as the first argument).
// Beside it, in the same run, the time a plain descriptor polling the same
// kind of pseudo-terminal takes to receive the burst; the port's excess over
// the 1 ms gap is given as a multiple of that.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/platform/win/win.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

using namespace veravo::win;
using Clock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds from writing each burst until a plain descriptor on a fresh
// pseudo-terminal has read all of it.
std::vector<double> RawBurstLatencies(int rounds, const std::string& burst) {
  std::vector<double> ms;
  std::string why;
  auto pty = veravo::PseudoTerminal::Open(&why);
  if (!pty) return ms;
  const int fd = open(pty->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  char buffer[256];
  for (int i = 0; i < rounds; ++i) {
    if (!pty->WriteAll(burst.data(), burst.size())) break;
    const Clock::time_point sent = Clock::now();
    std::size_t got = 0;
    while (got < burst.size()) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 1000);
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) got += static_cast<std::size_t>(n);
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  close(fd);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::stoi(argv[1]) : 1000;
  veravo::bench::CommOnPty comm = veravo::bench::OpenCommOnPty();
  HANDLE port = comm.port;
  OVERLAPPED read{};
  read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const std::string burst = "0123456789ABCDEF";
  const double rawP50 = Median(RawBurstLatencies(rounds, burst));
  char buffer[256];
  std::vector<double> latencies;
  int short_reads = 0;
  for (int i = 0; i < rounds; ++i) {
    DWORD n = 0;
    if (ReadFile(port, buffer, sizeof buffer, &n, &read) || GetLastError() != ERROR_IO_PENDING) {
      std::fprintf(stderr, "read did not pend\n");
      return 1;
    }
    if (!comm.pty->WriteAll(burst.data(), burst.size())) return 1;
    Clock::time_point sent = Clock::now();
    WaitForSingleObject(read.hEvent, INFINITE);
    Clock::time_point done = Clock::now();
    GetOverlappedResult(port, &read, &n, FALSE);
    if (n != burst.size()) {
      ++short_reads;  // the burst was split; collect the rest before going on
      DWORD rest = 0;
      while (n < burst.size() && ReadFile(port, buffer, sizeof buffer, &rest, nullptr)) n += rest;
      continue;
    }
    latencies.push_back(std::chrono::duration<double, std::milli>(done - sent).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * (latencies.size() - 1))]; };
  if (latencies.empty()) return 1;
  std::printf("read completion after last byte, 1 ms interval, %zu bursts of %zu bytes (%d split):\n",
              latencies.size(), burst.size(), short_reads);
  std::printf("  p50 %.3f ms  p99 %.3f ms  max %.3f ms  min %.3f ms\n", at(0.50), at(0.99), latencies.back(),
              latencies.front());
  std::printf("  raw descriptor p50 %.3f ms; port p50 - 1 ms = %.1f x raw p50\n", rawP50,
              rawP50 > 0 ? (at(0.50) - 1.0) / rawP50 : 0.0);
  CloseHandle(port);
  CloseHandle(read.hEvent);
  return 0;
}
