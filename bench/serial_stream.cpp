// Streaming through one port on a pseudo-terminal in both directions at
// once, checking that no byte is lost or reordered. The port's caller polls
// politely (a short sleep when its queue is full or empty); beside it the
// same streams over a plain terminal descriptor.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/serial/_SerialPort.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kBytes = 4u << 20;  // each way

unsigned char Pattern(std::size_t i) { return static_cast<unsigned char>((i * 131 + (i >> 9)) & 0xFF); }

int OpenMaster(std::string* slave) {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  grantpt(fd);
  unlockpt(fd);
  *slave = ptsname(fd);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The far end: sends kBytes of the pattern and checks the kBytes it gets.
// Sets *outSeconds to when its sending finished, *inSeconds to when the
// last byte came in; *bad to whether anything was missing or wrong.
void Peer(int fd, Clock::time_point start, double* outSeconds, double* inSeconds, bool* bad) {
  std::size_t sent = 0, got = 0;
  unsigned char buf[4096];
  while (sent < kBytes || got < kBytes) {
    pollfd pfd{fd, static_cast<short>(POLLIN | (sent < kBytes ? POLLOUT : 0)), 0};
    poll(&pfd, 1, 100);
    if (sent < kBytes && (pfd.revents & POLLOUT)) {
      const std::size_t n = std::min(sizeof buf, kBytes - sent);
      for (std::size_t i = 0; i < n; ++i) buf[i] = Pattern(sent + i);
      const ssize_t w = write(fd, buf, n);
      if (w > 0) sent += static_cast<std::size_t>(w);
      if (sent == kBytes) *outSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    if (pfd.revents & POLLIN) {
      const ssize_t r = read(fd, buf, sizeof buf);
      for (ssize_t i = 0; i < r; ++i) *bad |= buf[i] != Pattern(got + static_cast<std::size_t>(i));
      if (r > 0) got += static_cast<std::size_t>(r);
    }
  }
  *inSeconds = std::chrono::duration<double>(Clock::now() - start).count();
}

void Report(benchmark::State& state, double toPeer, double fromPeer, double cpu, bool bad) {
  const double mb = static_cast<double>(kBytes) / 1e6;
  state.counters["host_to_peer_MBps"] = mb / toPeer;
  state.counters["peer_to_host_MBps"] = mb / fromPeer;
  state.counters["cpu_s_per_MB"] = cpu / (2 * mb);
  state.counters["bytes_ok"] = bad ? 0 : 1;
  if (bad) state.SkipWithError("bytes lost or reordered");
}

void BM_PortStream(benchmark::State& state) {
  std::string slave;
  const int master = OpenMaster(&slave);
  for (auto _ : state) {
    veravo::SerialPort port(slave.c_str(), "115200,N,8,1");
    if (port.Status != 0) {
      state.SkipWithError("port did not open");
      break;
    }
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now();
    double peerOut = 0, peerIn = 0, hostIn = 0;
    bool bad = false, peerBad = false;
    std::thread peer(Peer, master, start, &peerOut, &peerIn, &peerBad);
    std::size_t sent = 0, got = 0;
    char out[512], in[1025];
    while (sent < kBytes || got < kBytes) {
      bool idle = true;
      if (sent < kBytes) {
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(port.TransmitFree()), kBytes - sent);
        if (n > 0) {
          for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(Pattern(sent + i));
          port.Write(out, static_cast<int>(n), 0, nullptr);
          sent += port.ByteCount;
          idle = false;
        }
      }
      port.Read(in, 1024, 0);
      for (unsigned i = 0; i < port.ByteCount; ++i)
        bad |= static_cast<unsigned char>(in[i]) != Pattern(got + i);
      got += port.ByteCount;
      if (port.ByteCount > 0) idle = false;
      if (got == kBytes && hostIn == 0) hostIn = std::chrono::duration<double>(Clock::now() - start).count();
      if (idle) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    peer.join();
    Report(state, peerIn, hostIn, CpuSeconds() - cpu0, bad || peerBad);
  }
  close(master);
}

void BM_RawTerminalStream(benchmark::State& state) {
  std::string slave;
  const int master = OpenMaster(&slave);
  for (auto _ : state) {
    const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now();
    double peerOut = 0, peerIn = 0, hostIn = 0;
    bool bad = false, peerBad = false;
    std::thread peer(Peer, master, start, &peerOut, &peerIn, &peerBad);
    std::size_t sent = 0, got = 0;
    unsigned char buf[4096];
    while (sent < kBytes || got < kBytes) {
      pollfd pfd{fd, static_cast<short>(POLLIN | (sent < kBytes ? POLLOUT : 0)), 0};
      poll(&pfd, 1, 100);
      if (sent < kBytes && (pfd.revents & POLLOUT)) {
        const std::size_t n = std::min(sizeof buf, kBytes - sent);
        for (std::size_t i = 0; i < n; ++i) buf[i] = Pattern(sent + i);
        const ssize_t w = write(fd, buf, n);
        if (w > 0) sent += static_cast<std::size_t>(w);
      }
      if (pfd.revents & POLLIN) {
        const ssize_t r = read(fd, buf, sizeof buf);
        for (ssize_t i = 0; i < r; ++i) bad |= buf[i] != Pattern(got + static_cast<std::size_t>(i));
        if (r > 0) got += static_cast<std::size_t>(r);
      }
    }
    hostIn = std::chrono::duration<double>(Clock::now() - start).count();
    peer.join();
    close(fd);
    Report(state, peerIn, hostIn, CpuSeconds() - cpu0, bad || peerBad);
  }
  close(master);
}

}  // namespace

BENCHMARK(BM_PortStream)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawTerminalStream)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
