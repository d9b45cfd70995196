// A port through ser2net on loopback against the same port directly on the
// pseudo-terminal behind it: an 8 -> 16 byte request/reply round trip, and
// a one-way stream from the port to the device. The network figures carry
// a ratio to the direct ones. ser2net runs on 127.0.0.1 for the whole run
// and is stopped by its process id at the end.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <veravo/platform/ports/pseudo_terminal.h>
#include <veravo/platform/win/net/net_socket.h>
#include <veravo/serial/_SerialPort.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 500;
constexpr std::size_t kStreamBytes = 256 * 1024;

struct Setup {
  std::unique_ptr<veravo::PseudoTerminal> pty;
  pid_t server = -1;
  std::string networkName;
};

Setup& Shared() {
  static Setup setup;
  return setup;
}

bool StartServer() {
  Setup& s = Shared();
  std::string why;
  s.pty = veravo::PseudoTerminal::Open(&why);
  if (!s.pty) return false;
  int port = 0;
  auto listener = veravo::win::net::Listen("127.0.0.1", 0, &port, &why);  // a free port
  veravo::win::net::Close(listener);
  const std::string conf = "/tmp/veravo-bench-ser2net-" + std::to_string(getpid()) + ".yaml";
  std::ofstream(conf) << "%YAML 1.1\n---\nconnection: &bench\n    accepter: telnet(rfc2217),tcp,127.0.0.1,"
                      << port
                      << "\n    enable: on\n    options:\n      chardelay: false\n    connector: serialdev,"
                      << s.pty->DevicePath() << ",115200n81,local\n";
  s.server = fork();
  if (s.server == 0) {
    execl("/usr/sbin/ser2net", "ser2net", "-n", "-u", "-c", conf.c_str(), "-P", "/dev/null", nullptr);
    _exit(127);
  }
  s.networkName = "rfc2217://127.0.0.1:" + std::to_string(port);
  for (int i = 0; i < 250; ++i) {
    auto probe = veravo::win::net::Connect("127.0.0.1", port, 100, &why);
    if (probe != veravo::win::net::kNoSocket) {
      veravo::win::net::Close(probe);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void StopServer() {
  Setup& s = Shared();
  if (s.server > 0) {
    kill(s.server, SIGTERM);
    waitpid(s.server, nullptr, 0);
  }
}

double g_directRoundTripUs = 0;
double g_directStreamSeconds = 0;

// Answers every 8 bytes with 16.
void Peer(veravo::PseudoTerminal* pty, int rounds) {
  unsigned char reply[16];
  for (int i = 0; i < 16; ++i) reply[i] = static_cast<unsigned char>(0xA0 + i);
  for (int r = 0; r < rounds; ++r) {
    int got = 0;
    int idle = 0;
    unsigned char buf[64];
    while (got < 8) {
      long n = pty->Read(buf, sizeof buf, 200);
      if (n < 0 || (n == 0 && ++idle > 10)) return;  // the port went away
      got += static_cast<int>(n);
    }
    pty->WriteAll(reply, sizeof reply);
  }
}

double RoundTripP50(const std::string& name, benchmark::State& state) {
  veravo::SerialPort port(name.c_str(), "115200,N,8,1");
  if (port.Status != 0) {
    state.SkipWithError("port did not open");
    return 0;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the server opens the device
  std::thread peer(Peer, Shared().pty.get(), kRounds);
  std::vector<double> us = veravo::bench::TimeExchanges(port, kRounds);
  peer.join();
  std::sort(us.begin(), us.end());
  state.counters["p50_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[us.size() * 99 / 100];
  return us[us.size() / 2];
}

double StreamSeconds(const std::string& name, benchmark::State& state) {
  veravo::SerialPort port(name.c_str(), "115200,N,8,1");
  if (port.Status != 0) {
    state.SkipWithError("port did not open");
    return 0;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::size_t received = 0;
  std::thread sink([&] {
    unsigned char buf[4096];
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (received < kStreamBytes && Clock::now() < deadline) {
      long n = Shared().pty->Read(buf, sizeof buf, 100);
      if (n > 0) received += static_cast<std::size_t>(n);
    }
  });
  std::vector<char> block(1024, 0x55);
  const auto t0 = Clock::now();
  for (std::size_t sent = 0; sent < kStreamBytes; sent += block.size()) {
    port.Write(block.data(), static_cast<int>(block.size()), 2000, nullptr);
  }
  sink.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  state.counters["MB_per_s"] = static_cast<double>(received) / seconds / 1e6;
  if (received != kStreamBytes) state.SkipWithError("bytes were lost");
  return seconds;
}

void BM_DirectRoundTrip(benchmark::State& state) {
  for (auto _ : state) g_directRoundTripUs = RoundTripP50(Shared().pty->DevicePath(), state);
}

void BM_Ser2netRoundTrip(benchmark::State& state) {
  for (auto _ : state) {
    double p50 = RoundTripP50(Shared().networkName, state);
    if (g_directRoundTripUs > 0) {
      state.counters["ratio_to_direct"] = p50 / g_directRoundTripUs;
      state.counters["added_us"] = p50 - g_directRoundTripUs;
    }
  }
}

void BM_DirectStream(benchmark::State& state) {
  for (auto _ : state) g_directStreamSeconds = StreamSeconds(Shared().pty->DevicePath(), state);
}

void BM_Ser2netStream(benchmark::State& state) {
  for (auto _ : state) {
    double seconds = StreamSeconds(Shared().networkName, state);
    if (g_directStreamSeconds > 0) state.counters["time_ratio_to_direct"] = seconds / g_directStreamSeconds;
  }
}

}  // namespace

BENCHMARK(BM_DirectRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ser2netRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DirectStream)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ser2netStream)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!StartServer()) {
    std::fprintf(stderr, "ser2net did not start (install the ser2net package)\n");
    StopServer();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  StopServer();
  return 0;
}
