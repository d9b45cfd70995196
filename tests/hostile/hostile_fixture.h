// The far end of a pseudo-terminal played by a thread of the test, a TZPEdit
// whose port is that terminal, and the byte helpers and reply checks of the
// device families that the hostile reply tests share (written out from the
// frame layouts, so that the tests can build valid and invalid replies).
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>
#include <veravo/edit/zpedit.h>
#include <veravo/serial/_SerialPort.h>
#include <veravo/sim/devices/checks.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/pty.h"
#include "support/wait.h"

namespace veravo::hostile {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Once the host has sent an armed request, the peer runs a scripted action
// that answers it (whole, in pieces, endlessly, ...) on a thread of its own.
// What it sent, and when, may be looked at once Join has returned.
class Peer {
 public:
  ~Peer() { Release(), Join(); }
  const std::string& SlavePath() const { return pty_.SlavePath(); }

  // Reads away what the host sent so far, then runs `action` as soon as the
  // bytes received from now on contain `request` (at once for an empty one).
  void Arm(std::string request, std::function<void(Peer&)> action) {
    Join();
    while (read(pty_.Master(), input_, sizeof input_) > 0) {
    }
    sent_.clear(), stamps_.clear(), released_ = false;
    thread_ = std::thread([this, request = std::move(request), action = std::move(action)] {
      for (std::string got; got.find(request) == std::string::npos;) {
        if (released_) return;
        pollfd fd{pty_.Master(), POLLIN, 0};
        const ssize_t n = poll(&fd, 1, 2) > 0 ? read(pty_.Master(), input_, sizeof input_) : 0;
        if (n > 0) got.append(input_, static_cast<std::size_t>(n));
        // While no one has the device side open, the terminal reports a hang-up at once.
        if (n < 0) std::this_thread::sleep_for(2ms);
      }
      action(*this);
    });
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // Lets an action waiting in WaitReleased, or streaming, go on.
  void Release() { released_ = true; }

  // ---- for actions, on the peer thread ------------------------------------
  // Writes all bytes, waiting while the terminal is full; stops when the
  // terminal refuses them (no port has the device side open).
  void Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = write(pty_.Master(), bytes.data(), bytes.size());
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
      if (n <= 0) std::this_thread::sleep_for(1ms);
      if (n > 0) sent_.append(bytes.data(), static_cast<std::size_t>(n)), bytes.remove_prefix(n);
    }
  }
  void WaitReleased() {
    while (!released_) std::this_thread::sleep_for(1ms);
  }
  // Sends pattern(0), pattern(1), ... until released.
  void Stream(const std::function<unsigned char(std::size_t)>& pattern) {
    while (!released_) {
      char chunk[256];
      for (std::size_t i = 0; i < sizeof chunk; ++i) chunk[i] = static_cast<char>(pattern(sent_.size() + i));
      const ssize_t n = write(pty_.Master(), chunk, sizeof chunk);
      if (n > 0) sent_.append(chunk, static_cast<std::size_t>(n));
      if (n <= 0) std::this_thread::sleep_for(1ms);
    }
  }
  void Stamp() { stamps_.push_back(Clock::now()); }

  std::string sent_;
  std::vector<Clock::time_point> stamps_;

 private:
  test::Pty pty_{test::Pty::NonBlocking};
  char input_[512];
  std::atomic<bool> released_{false};
  std::thread thread_;
};

// Upper-case hex text of bytes, and the bytes of hex text.
inline std::string Hex(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  return bytes.empty() ? "" : TZPEdit::BytesToHexText(data, bytes.size(), nullptr);
}
inline std::string Unhex(std::string_view hex) {
  const std::vector<unsigned char> bytes = TZPEdit::HexTextToBytes(std::string(hex).c_str());
  return std::string(bytes.begin(), bytes.end());
}

// The reply with its CRC-16/KERMIT appended, low byte first.
inline std::string WithCrc(std::string_view body) {
  std::vector<win::BYTE> bytes(body.begin(), body.end());
  sim::AppendCrc(&bytes);
  return std::string(bytes.begin(), bytes.end());
}

// A reply whose last byte is the XOR of the bytes from `From` up to the last
// `Trail` bytes before it: all bytes (the generic reader), three header bytes
// and a body (<3, 0>), or a leading byte, a body and a trailing byte (<1, 1>).
template <std::size_t From, std::size_t Trail>
bool XorPasses(std::string_view r) {
  const std::vector<win::BYTE> bytes(r.begin(), r.end());
  return !r.empty() && sim::XorOf(bytes, From, r.size() < 1 + Trail ? 0 : r.size() - 1 - Trail) ==
                           static_cast<unsigned char>(r.back());
}
// The last two bytes are the CRC of the bytes before them.
inline bool CrcPasses(std::string_view r) {
  return r.size() >= 2 && WithCrc(std::string(r.substr(0, r.size() - 2))) == r;
}

// A pseudo-random byte sequence, the same for the same seed; zero bytes included.
inline unsigned char NoiseByte(std::size_t i, std::uint32_t seed) {
  std::uint64_t z = (static_cast<std::uint64_t>(seed) << 32) + i + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<unsigned char>(z ^ (z >> 31));
}

inline std::string Noise(std::size_t n, std::uint32_t seed) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += static_cast<char>(NoiseByte(i, seed));
  return out;
}

class EditOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    edit_.SetProtName(peer_.SlavePath().c_str());
    edit_.SetBaudRate(9600);
    edit_.SetSleepTiem(10);
    ASSERT_TRUE(edit_.CreatePort());
  }
  void TearDown() override { edit_.ClosePort(); }

  SerialPort& Port() { return *edit_.Port(); }
  bool WaitQueued(std::size_t count) {
    return test::WaitUntil([&] { return Port().ReceiveUsed() >= static_cast<int>(count); }, 3s);
  }

  // Ends the peer's action and reads away whatever is still on its way, so
  // that the next exchange starts on a quiet line. A quiet spell is no proof
  // on a busy machine (the terminal may hold back kilobytes for a while), so
  // the peer closes with a marker and everything up to it is read.
  void Drain() {
    peer_.Release();
    const std::string marker = "\xFE\xED end of exchange " + std::to_string(++drains_) + " \xFA\xCE";
    peer_.Arm("", [marker](Peer& p) { p.Send(marker); });
    std::string tail;
    char buffer[1024 + 1];
    for (const auto end = Clock::now() + 10s; tail.find(marker) == std::string::npos;) {
      ASSERT_LT(Clock::now(), end) << "the line did not go quiet";
      Port().Read(buffer, 1024, 0);
      tail.append(buffer, Port().ByteCount);
      if (Port().ByteCount == 0) std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(tail.substr(tail.find(marker) + marker.size()), "") << "bytes after the end marker";
  }

  Peer peer_;
  TZPEdit edit_{nullptr};
  int drains_ = 0;
};

}  // namespace veravo::hostile
