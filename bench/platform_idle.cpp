// CPU used by an idle open port: a pseudo-terminal with a read and a
// line-event wait pending and no traffic. Prints process CPU seconds over
// the measuring time (10 s unless given in seconds as the first argument).
#include <veravo/platform/win/win.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench_support.h"

using namespace veravo::win;

using veravo::bench::CpuSeconds;

int main(int argc, char** argv) {
  double duration = argc > 1 ? std::stod(argv[1]) : 10.0;
  veravo::bench::CommOnPty comm = veravo::bench::OpenCommOnPty();
  HANDLE port = comm.port;
  SetCommMask(port, 0x21F9);
  OVERLAPPED read{};
  OVERLAPPED wait{};
  read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  wait.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  char buffer[256];
  DWORD n = 0;
  DWORD events = 0;
  bool readPending = !ReadFile(port, buffer, sizeof buffer, &n, &read) && GetLastError() == ERROR_IO_PENDING;
  bool waitPending = !WaitCommEvent(port, &events, &wait) && GetLastError() == ERROR_IO_PENDING;
  if (!readPending || !waitPending) {
    std::fprintf(stderr, "expected a pending read and wait\n");
    return 1;
  }
  double before = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(duration));
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double used = CpuSeconds() - before;
  std::printf("idle port: %.3f s wall, %.6f s process CPU (%.4f%% of one core)\n", wall, used,
              100.0 * used / wall);
  bool stillPending = WaitForSingleObject(read.hEvent, 0) == WAIT_TIMEOUT &&
                      WaitForSingleObject(wait.hEvent, 0) == WAIT_TIMEOUT;
  std::printf("read and wait still pending: %s\n", stillPending ? "yes" : "no");
  CloseHandle(port);
  CloseHandle(read.hEvent);
  CloseHandle(wait.hEvent);
  return stillPending ? 0 : 1;
}
