// What open ports cost when nothing happens: CPU time of 32 idle ports over
// 10 s and the memory each adds; then 10 000 open/close cycles on a virtual
// line, watching memory and descriptors for growth.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <veravo/serial/_SerialPort.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

using veravo::bench::CpuSeconds;

double RssKiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

void BM_IdlePorts(benchmark::State& state) {
  constexpr int kPorts = 32;
  const int seconds = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::vector<int> masters;
    std::vector<std::string> slaves;
    for (int i = 0; i < kPorts; ++i) {
      const int fd = posix_openpt(O_RDWR | O_NOCTTY);
      grantpt(fd);
      unlockpt(fd);
      masters.push_back(fd);
      slaves.emplace_back(ptsname(fd));
    }
    const double rss0 = RssKiB();
    std::vector<std::unique_ptr<veravo::SerialPort>> ports;
    for (const std::string& slave : slaves) {
      ports.push_back(std::make_unique<veravo::SerialPort>(slave.c_str(), "9600,N,8,1"));
      if (ports.back()->Status != 0) state.SkipWithError("port did not open");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the threads settle
    const double rss1 = RssKiB();
    const double cpu0 = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds() - cpu0;
    ports.clear();
    for (int fd : masters) close(fd);
    state.counters["cpu_ms_total"] = cpu * 1000.0;
    state.counters["rss_KiB_per_port"] = (rss1 - rss0) / kPorts;
  }
}

void BM_OpenCloseCycles(benchmark::State& state) {
  const int cycles = static_cast<int>(state.range(0));
  for (auto _ : state) {
    // Warm up so that one-time allocations are not counted as growth; the
    // measurements too, since the first call of each pages in some tens of
    // KiB of C library code (formatted input, directory reading) that would
    // count as resident growth.
    for (int i = 0; i < 100; ++i) veravo::SerialPort("sim:silent", "9600,N,8,1");
    RssKiB();
    OpenDescriptors();
    const double rss0 = RssKiB();
    const int fds0 = OpenDescriptors();
    int failures = 0;
    const auto t0 = std::chrono::steady_clock::now();
    double rssHalf = rss0, rss1000 = rss0;
    for (int i = 0; i < cycles; ++i) {
      veravo::SerialPort port("sim:silent", "9600,N,8,1");
      failures += port.Status != 0;
      if (i == cycles / 2) rssHalf = RssKiB();
      if (i == 900) rss1000 = RssKiB();  // 1000 cycles with the warm-up
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    state.counters["failed_opens"] = failures;
    const double rssEnd = RssKiB();
    state.counters["rss_growth_KiB"] = rssEnd - rss0;
    // Growth that keeps on with the cycles shows here.
    state.counters["rss_growth_second_half_KiB"] = rssEnd - rssHalf;
    // And here, after a thousand cycles.
    state.counters["rss_growth_after_1000_KiB"] = rssEnd - rss1000;
    state.counters["fd_growth"] = OpenDescriptors() - fds0;
    state.counters["us_per_cycle"] = ms * 1000.0 / cycles;
  }
}

}  // namespace

BENCHMARK(BM_IdlePorts)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenCloseCycles)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
