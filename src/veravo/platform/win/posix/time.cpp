#include <veravo/platform/win/win_api.h>

#include <chrono>
#include <thread>

namespace veravo::win {

// Milliseconds of the monotonic clock, wrapping around like the Windows tick
// count (every 49.7 days).
DWORD GetTickCount() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// There are no asynchronous procedure calls to run, so an alertable sleep
// always runs to its end.
DWORD SleepEx(DWORD milliseconds, BOOL) {
  Sleep(milliseconds);
  return 0;
}

}  // namespace veravo::win
