// The serial port itself under a stream that never ends and is far larger
// than its queues, while the host takes bytes slowly: on a pseudo-terminal
// (which holds the sender back once its buffers are full) nothing may be
// lost. (A virtual line drops what does not fit, like a UART: the slow
// receiver cases of the fault-injection suite check that.)
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>
#include <veravo/serial/_SerialPort.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "hostile/hostile_fixture.h"
#include "support/hook_port.h"

namespace veravo::hostile {
namespace {

// Takes up to `count` bytes with Read and checks what Read promises about
// its buffer: ByteCount within count, a zero byte after the data, nothing
// written beyond that, and a result code that matches the count.
std::string TakeChecked(SerialPort& port, int count, long timeoutMs) {
  constexpr char kCanary = '\x5A';
  std::vector<char> buffer(static_cast<std::size_t>(count) + 1 + 16, kCanary);
  const int rc = port.Read(buffer.data(), count, timeoutMs);
  const unsigned n = port.ByteCount;
  EXPECT_LE(n, static_cast<unsigned>(count));
  EXPECT_EQ(rc, n == static_cast<unsigned>(count) ? 0 : result::Timeout) << "count " << count << " got " << n;
  EXPECT_EQ(buffer[n], '\0');
  EXPECT_TRUE(std::all_of(buffer.begin() + count + 1, buffer.end(), [](char c) { return c == kCanary; }));
  return std::string(buffer.data(), std::min<std::size_t>(n, static_cast<std::size_t>(count)));
}

TEST(EngineFlood, StreamIntoASlowReaderLosesNothing) {
  Peer peer;
  test::HookPort port(peer.SlavePath().c_str(), "115200,N,8,1");
  ASSERT_EQ(port.Status, 0);
  peer.Arm("", [](Peer& p) { p.Stream([](std::size_t i) { return NoiseByte(i, 7); }); });
  std::string taken;
  int fullest = 0;
  auto take = [&](int count, long timeoutMs) {
    const std::string got = TakeChecked(port, count, timeoutMs);
    taken += got;
    return got.size();
  };
  const int counts[] = {1, 7, 64, 300, 1024};
  for (int round = 0; round < 250; ++round) {
    fullest = std::max(fullest, port.ReceiveUsed());
    take(counts[round % 5], 0);
    std::this_thread::sleep_for(2ms);
  }
  // A read without a time limit under a stream that never pauses: it ends at
  // the first pass that finds the queue empty (or with all it asked for).
  test::WaitUntil([&] { return port.ReceiveUsed() > 0; }, 3s);
  const auto start = Clock::now();
  EXPECT_GT(take(4096, -1), 0u);
  EXPECT_LT(Clock::now() - start, 5s);

  peer.Release();
  peer.Join();
  const std::size_t sent = peer.sent_.size();
  test::WaitUntil([&] { return take(1024, 0), taken.size() >= sent; }, 10s);
  EXPECT_GT(sent, 4u * SerialPort::QueueCapacity);
  EXPECT_EQ(taken.size(), sent);
  EXPECT_TRUE(taken == peer.sent_) << "bytes lost or out of order";
  EXPECT_EQ(port.received.load(), static_cast<long>(taken.size()));
  EXPECT_LE(fullest, SerialPort::QueueCapacity);
  EXPECT_EQ(port.overflow.load(), 0);
  EXPECT_EQ(port.LineErrors & win::CE_RXOVER, 0u);
  EXPECT_EQ(port.ReceiveUsed(), 0);
}

}  // namespace
}  // namespace veravo::hostile
