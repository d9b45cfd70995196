// A TZPEdit whose port is a pseudo-terminal with a scripted peer on the far
// end, and the helpers the hostile reply tests share.
#pragma once

#include <gtest/gtest.h>
#include <veravo/edit/zpedit.h>
#include <veravo/serial/_SerialPort.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

#include "hostile/pty_peer.h"
#include "hostile/reply_rules.h"
#include "support/wait.h"

namespace veravo {
// Shows texts as text in failure messages.
inline void PrintTo(const AnsiString& s, std::ostream* os) { *os << '"' << s.str() << '"'; }
}  // namespace veravo

namespace veravo::hostile {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class EditOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    edit_.SetProtName(peer_.SlavePath().c_str());
    edit_.SetBaudRate(9600);
    edit_.SetSleepTiem(10);
    ASSERT_TRUE(edit_.CreatePort());
  }
  void TearDown() override {
    peer_.Release();
    peer_.WaitDone();
    edit_.ClosePort();
  }

  SerialPort& Port() { return *edit_.Port(); }

  // Waits until the port's receive queue holds `count` bytes.
  bool WaitQueued(int count, std::chrono::milliseconds limit = 3s) {
    return test::WaitUntil([&] { return Port().ReceiveUsed() >= count; }, limit);
  }

  // The peer sends `bytes` now; returns once the port has queued them all.
  void Deliver(const std::string& bytes) {
    const int before = Port().ReceiveUsed();
    peer_.Arm("", [bytes](PtyPeer& p) { p.Send(bytes); });
    ASSERT_TRUE(peer_.WaitDone());
    ASSERT_TRUE(WaitQueued(before + static_cast<int>(bytes.size())));
  }

  // Ends the peer's action and reads away whatever is still on its way, so
  // that the next exchange starts on a quiet line. A quiet spell is no proof
  // on a busy machine (the terminal may hold back kilobytes for a while), so
  // the peer closes with a marker and everything up to it is read.
  void Drain() {
    peer_.Release();
    ASSERT_TRUE(peer_.WaitDone());
    const std::string marker = "\xFE\xED end of exchange " + std::to_string(++drains_) + " \xFA\xCE";
    peer_.Arm("", [marker](PtyPeer& p) { p.Send(marker); });
    ASSERT_TRUE(peer_.WaitDone());
    std::string tail;
    char buffer[1024 + 1];
    for (const auto end = Clock::now() + 10s; tail.find(marker) == std::string::npos;) {
      ASSERT_LT(Clock::now(), end) << "the line did not go quiet";
      Port().Read(buffer, 1024, 0);
      tail.append(buffer, Port().ByteCount);
      if (tail.size() > 4 * marker.size()) tail.erase(0, tail.size() - 2 * marker.size());
      if (Port().ByteCount == 0) std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(tail.substr(tail.find(marker) + marker.size()), "") << "bytes after the end marker";
  }

  PtyPeer peer_;
  TZPEdit edit_{nullptr};
  int drains_ = 0;
};

}  // namespace veravo::hostile
