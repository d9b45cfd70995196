// Helpers of the fault-injection tests: run sizes scaled for sanitizer
// builds, byte streams whose arrival can be checked byte for byte, and the
// two ends of a stream pumped on threads of their own.
#pragma once

#include <gtest/gtest.h>
#include <veravo/serial/_SerialPort.h>
#include <veravo/serial/result_codes.h>
#include <veravo/sim/virtual_line.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/hook_port.h"
#include "support/wait.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VERAVO_FAULTS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VERAVO_FAULTS_SANITIZED 1
#endif
#endif

namespace veravo::faults {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;
using namespace veravo::test;

// Run sizes: full in optimised builds, half under sanitizers (which run the
// same code several times slower).
inline int Scaled(int n) {
#ifdef VERAVO_FAULTS_SANITIZED
  return std::max(1, n / 2);
#else
  return n;
#endif
}

// Runs `fn` (a close or a destruction), which must end within two seconds;
// a hang aborts the program after ten.
inline void ExpectPrompt(const char* what, const std::function<void()>& fn) {
  const auto t0 = Clock::now();
  RunWithDeadline(what, 10s, fn);
  EXPECT_LT(Clock::now() - t0, 2s) << what;
}

inline Bytes RandomStream(std::mt19937& rng, std::size_t n) {
  Bytes out(n);
  std::generate(out.begin(), out.end(), [&] { return static_cast<unsigned char>(rng()); });
  return out;
}

inline bool IsPrefixOf(const Bytes& part, const Bytes& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// Whether the bytes of `part` all occur in `whole` in their order (bytes may
// be missing between them). Greedy matching decides that exactly.
inline bool InOrderWithin(const Bytes& part, const Bytes& whole) {
  auto at = whole.begin();
  for (unsigned char byte : part) {
    if ((at = std::find(at, whole.end(), byte)) == whole.end()) return false;
    ++at;
  }
  return true;
}

// A fresh line with a name no other test uses; its device follows the
// host's settings unless told not to.
inline std::shared_ptr<sim::VirtualLine> NewLine(const char* stem, bool followHost = true) {
  static std::atomic<int> counter{0};
  auto line = sim::VirtualLine::create(std::string("faults-") + stem + "-" + std::to_string(counter++));
  line->device().SetFollowHost(followHost);
  return line;
}

// The host side of a two-way stream, on a thread of its own (a port's
// transfer calls belong to one caller): queues `out` as room allows and
// collects what arrives. A result other than success or a short transfer
// goes to `onRefused`, which says whether to go on.
class HostPump {
 public:
  HostPump(SerialPort& port, const Bytes& out, std::function<bool(int)> onRefused = nullptr)
      : thread_([this, &port, &out, onRefused](std::stop_token stop) {
          auto goOn = [&](int rc) {
            if (rc == 0 || rc == result::Timeout) return true;
            lastRefusal = rc;
            return onRefused && onRefused(rc);
          };
          char buffer[kReadSize + 1];
          while (!stop.stop_requested()) {
            const int n = static_cast<int>(std::min<std::size_t>(700, out.size() - sent));
            const int wrote =
                n > 0 ? port.Write(reinterpret_cast<const char*>(out.data()) + sent, n, 0, nullptr) : 0;
            const std::size_t moved = n > 0 ? port.ByteCount : 0;
            sent += moved;
            if (!goOn(wrote)) break;
            const int read = port.Read(buffer, kReadSize, 0);
            in.insert(in.end(), buffer, buffer + port.ByteCount);
            received = in.size();
            if (!goOn(read)) break;
            if (moved + port.ByteCount == 0) std::this_thread::sleep_for(1ms);
          }
          done = true;
        }) {}
  void Stop() {
    thread_.request_stop();
    if (thread_.joinable()) thread_.join();
  }

  Bytes in;  // read it once the pump has ended
  std::atomic<std::size_t> received{0}, sent{0};
  std::atomic<int> lastRefusal{0};
  std::atomic<bool> done{false};

 private:
  static constexpr int kReadSize = 1024;
  std::jthread thread_;  // last: starts once the rest is there
};

// Feeds `bytes` into the device end as its output buffer takes them, on a
// thread of its own, until all are taken (counted in `fed`), the line is
// unplugged or stop.
inline std::jthread FeedDevice(sim::VirtualLine& line, const Bytes& bytes, std::atomic<std::size_t>& fed) {
  return std::jthread([&line, &bytes, &fed](std::stop_token stop) {
    while (!stop.stop_requested() && fed < bytes.size() && !line.unplugged()) {
      const std::size_t n = std::min<std::size_t>(256, bytes.size() - fed);
      const std::size_t took =
          line.device().Write(std::string_view(reinterpret_cast<const char*>(bytes.data()) + fed, n));
      fed += took;
      if (took < n) std::this_thread::sleep_for(1ms);
    }
  });
}

}  // namespace veravo::faults
