// Read-completion latency with a 1 ms interval time-out: the time from the
// far end writing the last byte of a burst into a pseudo-terminal to the
// completion of the overlapped read that receives it. Prints p50, p99 and
// the maximum over N bursts (1000 unless given as the first argument).
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

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::stoi(argv[1]) : 1000;
  veravo::bench::CommOnPty comm = veravo::bench::OpenCommOnPty();
  HANDLE port = comm.port;
  OVERLAPPED read{};
  read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const std::string burst = "0123456789ABCDEF";
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
  CloseHandle(port);
  CloseHandle(read.hEvent);
  return 0;
}
