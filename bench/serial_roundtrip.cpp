// Request/reply round trip through a port on a pseudo-terminal: the port
// writes 8 bytes, a raw peer answers 16 at once, the port reads (no wait, in
// a loop) until all 16 are in. Beside it the same exchange over a plain
// non-blocking terminal descriptor.
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

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 2000;

int OpenMaster(std::string* slave) {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(fd);
  unlockpt(fd);
  *slave = ptsname(fd);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

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

void Report(benchmark::State& state, std::vector<double>& us) {
  std::sort(us.begin(), us.end());
  state.counters["p50_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[us.size() * 99 / 100];
  state.counters["max_us"] = us.back();
}

void BM_PortRoundTrip(benchmark::State& state) {
  std::string slave;
  const int master = OpenMaster(&slave);
  std::vector<double> us;
  for (auto _ : state) {
    veravo::SerialPort port(slave.c_str(), "115200,N,8,1");
    if (port.Status != 0) {
      state.SkipWithError("port did not open");
      break;
    }
    std::thread peer(Peer, master, kRounds);
    const char request[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    char reply[17];
    for (int r = 0; r < kRounds; ++r) {
      const auto t0 = Clock::now();
      port.Write(request, 8, 1000, nullptr);
      unsigned got = 0;
      while (got < 16) {
        port.Read(reply + got, static_cast<int>(16 - got), 0);
        got += port.ByteCount;
      }
      us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    peer.join();
  }
  close(master);
  if (!us.empty()) Report(state, us);
}

void BM_RawTerminalRoundTrip(benchmark::State& state) {
  std::string slave;
  const int master = OpenMaster(&slave);
  std::vector<double> us;
  for (auto _ : state) {
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
  }
  close(master);
  if (!us.empty()) Report(state, us);
}

}  // namespace

BENCHMARK(BM_PortRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawTerminalRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
