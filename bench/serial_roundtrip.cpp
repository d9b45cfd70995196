// Request/reply round trip through a port on a pseudo-terminal: the port
// writes 8 bytes, a raw peer answers 16 at once, the port reads (no wait, in
// a loop) until all 16 are in. Beside it, in the same run, the same exchange
// over a plain non-blocking terminal descriptor; the port's reads end only
// after a 1 ms quiet gap, so its p50 is held against 1 ms + 1.5 x raw p50.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/serial/_SerialPort.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 2000;

// Answers every 8 bytes with 16, until it has answered `rounds` requests.
void Peer(int fd, int rounds) {
  unsigned char reply[16];
  for (int i = 0; i < 16; ++i) reply[i] = static_cast<unsigned char>(0xA0 + i);
  for (int r = 0; r < rounds; ++r) {
    int got = 0;
    unsigned char buf[64];
    while (got < 8) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) got += static_cast<int>(n);
    }
    if (write(fd, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) std::abort();
  }
}

struct Percentiles {
  double p50 = 0, p99 = 0, max = 0;
};

Percentiles Of(std::vector<double>& us) {
  std::sort(us.begin(), us.end());
  return Percentiles{us[us.size() / 2], us[us.size() * 99 / 100], us.back()};
}

std::vector<double> RawTerminalRoundTrips(int master, const std::string& slave);

void BM_PortRoundTrip(benchmark::State& state) {
  std::string slave;
  const int master = veravo::bench::OpenRawMaster(&slave);
  std::vector<double> us, raw;
  double switches = 0, rawSwitches = 0;  // context switches of the process
  for (auto _ : state) {
    const double before = veravo::bench::ContextSwitches();
    raw = RawTerminalRoundTrips(master, slave);
    rawSwitches += veravo::bench::ContextSwitches() - before;
    veravo::SerialPort port(slave.c_str(), "115200,N,8,1");
    if (port.Status != 0) {
      state.SkipWithError("port did not open");
      break;
    }
    const double start = veravo::bench::ContextSwitches();
    std::thread peer(Peer, master, kRounds);
    const std::vector<double> round = veravo::bench::TimeExchanges(port, kRounds);
    us.insert(us.end(), round.begin(), round.end());
    peer.join();
    switches += veravo::bench::ContextSwitches() - start;
  }
  close(master);
  if (us.empty() || raw.empty()) return;
  const Percentiles port = Of(us), plain = Of(raw);
  veravo::bench::Beside(state, "p50_us", port.p50, plain.p50);
  veravo::bench::Beside(state, "p99_us", port.p99, plain.p99);
  veravo::bench::Beside(state, "max_us", port.max, plain.max);
  state.counters["p50_target_us"] = 1000 + 1.5 * plain.p50;
  veravo::bench::Beside(state, "switches_per_exchange", switches / static_cast<double>(us.size()),
                        rawSwitches / static_cast<double>(raw.size()));
}

// The same exchange over a plain non-blocking descriptor on the slave.
std::vector<double> RawTerminalRoundTrips(int master, const std::string& slave) {
  std::vector<double> us;
  const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  std::thread peer(Peer, master, kRounds);
  const unsigned char request[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  unsigned char reply[16];
  for (int r = 0; r < kRounds; ++r) {
    const auto t0 = Clock::now();
    if (write(fd, request, 8) != 8) std::abort();
    int got = 0;
    while (got < 16) {
      pollfd pfd{fd, POLLIN, 0};
      poll(&pfd, 1, 1000);
      const ssize_t n = read(fd, reply + got, static_cast<std::size_t>(16 - got));
      if (n > 0) got += static_cast<int>(n);
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  peer.join();
  close(fd);
  return us;
}

}  // namespace

BENCHMARK(BM_PortRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
