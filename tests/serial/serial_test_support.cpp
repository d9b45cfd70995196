#include "serial/serial_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <stdexcept>
#include <thread>

namespace veravo::test {

RecordingPort::RecordingPort(const char* portName, const char* settingsText)
    : SerialPort(portName, settingsText, DeferThreads{}) {
  StartThreads();
}

RecordingPort::~RecordingPort() { StopThreads(); }

void RunWithDeadline(const char* what, std::chrono::milliseconds limit, const std::function<void()>& fn) {
  std::promise<void> done;
  std::thread watchdog([&, finished = done.get_future()] {
    if (finished.wait_for(limit) == std::future_status::timeout) {
      std::fprintf(stderr, "deadline passed: %s\n", what);
      std::abort();
    }
  });
  fn();
  done.set_value();
  watchdog.join();
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
  for (const auto end = std::chrono::steady_clock::now() + limit; !pred();) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace veravo::test
