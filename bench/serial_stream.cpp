// Streaming through one port on a pseudo-terminal in both directions at
// once, checking that no byte is lost or reordered, beside the same streams
// over a plain terminal descriptor in the same run. The port's caller moves
// bytes while either queue moves; when its transmit queue is full and its
// receive queue empty it sleeps until the port says something happened:
// bytes arrived (OnReceived) or the transmit queue ran empty
// (OnTransmitEmpty). It never sleeps blind, so the engine's own hand-offs,
// not a timer, set the pace.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/serial/_SerialPort.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kBytes = 4u << 20;  // each way

unsigned char Pattern(std::size_t i) { return static_cast<unsigned char>((i * 131 + (i >> 9)) & 0xFF); }

using veravo::bench::ContextSwitches;
using veravo::bench::CpuSeconds;

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

struct Figures {
  double toPeerMBps = 0, fromPeerMBps = 0, cpuPerMB = 0, switchesPerMB = 0;
  bool bad = false;
};

Figures Measured(double toPeer, double fromPeer, double cpu, double switches, bool bad) {
  const double mb = static_cast<double>(kBytes) / 1e6;
  return Figures{mb / toPeer, mb / fromPeer, cpu / (2 * mb), switches / (2 * mb), bad};
}

Figures RawTerminalStream(int master, const std::string& slave);

// A port whose caller sleeps until the port's threads report arrivals or an
// empty transmit queue.
class NotifyingPort : public veravo::SerialPort {
 public:
  NotifyingPort(const char* name, const char* settings) : SerialPort(name, settings, DeferThreads{}) {
    StartThreads();
  }
  ~NotifyingPort() override { StopThreads(); }

  void OnReceived(int) override { Tell(); }
  void OnTransmitEmpty() override { Tell(); }

  // What Told() returns now; a later Told() differs once the port reported.
  unsigned Told() {
    std::lock_guard<std::mutex> guard(lock_);
    return reports_;
  }
  // Sleeps until the port reports after `seen` (or 50 ms pass, counted in
  // Timeouts: a report the caller missed would show there).
  void SleepUntilTold(unsigned seen) {
    std::unique_lock<std::mutex> guard(lock_);
    sleeping_ = true;
    if (!wake_.wait_for(guard, std::chrono::milliseconds(50), [&] { return reports_ != seen; })) ++Timeouts;
    sleeping_ = false;
  }
  int Timeouts = 0;

 private:
  void Tell() {
    bool wake = false;
    {
      std::lock_guard<std::mutex> guard(lock_);
      ++reports_;
      wake = sleeping_;
    }
    if (wake) wake_.notify_one();
  }
  std::mutex lock_;
  std::condition_variable wake_;
  unsigned reports_ = 0;
  bool sleeping_ = false;
};

void BM_PortStream(benchmark::State& state) {
  std::string slave;
  const int master = veravo::bench::OpenRawMaster(&slave, O_NONBLOCK);
  for (auto _ : state) {
    const Figures raw = RawTerminalStream(master, slave);
    NotifyingPort port(slave.c_str(), "115200,N,8,1");
    if (port.Status != 0) {
      state.SkipWithError("port did not open");
      break;
    }
    const double cpu0 = CpuSeconds(), switches0 = ContextSwitches();
    const auto start = Clock::now();
    double peerOut = 0, peerIn = 0, hostIn = 0;
    bool bad = false, peerBad = false;
    std::thread peer(Peer, master, start, &peerOut, &peerIn, &peerBad);
    std::size_t sent = 0, got = 0;
    char out[512], in[1025];
    unsigned told = port.Told();
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
      // A report after `told` means something may have moved since the
      // queues were looked at: look again before sleeping.
      if (idle) {
        port.SleepUntilTold(told);
        told = port.Told();
      }
    }
    peer.join();
    const Figures f =
        Measured(peerIn, hostIn, CpuSeconds() - cpu0, ContextSwitches() - switches0, bad || peerBad);
    veravo::bench::Beside(state, "host_to_peer_MBps", f.toPeerMBps, raw.toPeerMBps);
    veravo::bench::Beside(state, "peer_to_host_MBps", f.fromPeerMBps, raw.fromPeerMBps);
    veravo::bench::Beside(state, "cpu_s_per_MB", f.cpuPerMB, raw.cpuPerMB);
    veravo::bench::Beside(state, "switches_per_MB", f.switchesPerMB, raw.switchesPerMB);
    state.counters["host_wait_timeouts"] = port.Timeouts;
    state.counters["bytes_ok"] = f.bad || raw.bad ? 0 : 1;
    if (f.bad || raw.bad) state.SkipWithError("bytes lost or reordered");
  }
  close(master);
}

// The same streams over a plain non-blocking descriptor on the slave.
Figures RawTerminalStream(int master, const std::string& slave) {
  const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  const double cpu0 = CpuSeconds(), switches0 = ContextSwitches();
  const auto start = Clock::now();
  double peerOut = 0, peerIn = 0, hostOut = 0, hostIn = 0;
  bool bad = false, peerBad = false;
  // This end does what the far end does.
  std::thread peer(Peer, master, start, &peerOut, &peerIn, &peerBad);
  Peer(fd, start, &hostOut, &hostIn, &bad);
  peer.join();
  close(fd);
  return Measured(peerIn, hostIn, CpuSeconds() - cpu0, ContextSwitches() - switches0, bad || peerBad);
}

}  // namespace

BENCHMARK(BM_PortStream)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
