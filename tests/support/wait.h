// Waiting helpers of the tests: polling for a condition, and a deadline for
// calls that could hang (a hang cannot be recovered from in-process).
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

namespace veravo::test {

// True once pred holds; false when `limit` passed first.
inline bool WaitUntil(const std::function<bool()>& pred,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  for (const auto end = std::chrono::steady_clock::now() + limit; !pred();) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs fn; aborts the test program with `what` when fn has not returned
// within `limit`.
inline void RunWithDeadline(const char* what, std::chrono::milliseconds limit,
                            const std::function<void()>& fn) {
  std::promise<void> done;
  std::thread watchdog([&, finished = done.get_future()] {
    if (finished.wait_for(limit) == std::future_status::timeout) {
      std::fprintf(stderr, "deadline passed: %s did not end within %lld ms\n", what,
                   static_cast<long long>(limit.count()));
      std::abort();
    }
  });
  fn();
  done.set_value();
  watchdog.join();
}

}  // namespace veravo::test
