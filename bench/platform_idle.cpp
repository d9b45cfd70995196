// CPU used by an idle open port: a pseudo-terminal with a read and a
// line-event wait pending and no traffic. Prints process CPU seconds over
// the measuring time (10 s unless given in seconds as the first argument).
#include <sys/resource.h>
#include <veravo/platform/ports/pseudo_terminal.h>
#include <veravo/platform/win/win.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace veravo::win;

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  double duration = argc > 1 ? std::stod(argv[1]) : 10.0;
  std::string why;
  auto pty = veravo::PseudoTerminal::Open(&why);
  if (!pty) {
    std::fprintf(stderr, "pty: %s\n", why.c_str());
    return 1;
  }
  HANDLE port = CreateFileA(pty->DevicePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "open failed: %u\n", GetLastError());
    return 1;
  }
  SetupComm(port, 512, 512);
  COMMTIMEOUTS timeouts{1, 0, 0, 0, 0};
  SetCommTimeouts(port, &timeouts);
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
