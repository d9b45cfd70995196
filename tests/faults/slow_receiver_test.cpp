// A receiver slower than the sender. The port reads from the device only as
// much as its receive queue has room for, so the queue never holds more than
// its capacity and never drops a byte; what does not fit waits in the
// driver's input buffer, and only that buffer overflows - reported as
// CE_RXOVER through the overflow hook and the line-error status line.
#include "faults/fault_support.h"

namespace veravo::faults {
namespace {

// Capacity of the port's receive queue and of the driver's input buffer.
constexpr std::size_t kQueue = SerialPort::QueueCapacity;
constexpr std::size_t kDriverBuffer = SerialPort::QueueCapacity;

TEST(SlowReceiver, AHostThatDoesNotReadLosesOnlyWhatTheDriverBufferCannotHold) {
  const std::string name = UniqueLineName("slow");
  auto line = FollowingLine(name);
  ASSERT_TRUE(line);
  auto port = std::make_unique<HookPort>(name.c_str(), "115200,N,8,1");
  ASSERT_EQ(port->Status, 0);
  // Takes what is queued, at most `count` bytes.
  auto take = [&](int count, Bytes& into) {
    std::vector<char> buffer(static_cast<std::size_t>(count) + 1);
    port->Read(buffer.data(), count, 0);
    into.insert(into.end(), buffer.begin(), buffer.begin() + port->ByteCount);
  };
  std::mt19937 rng(TestSeed(0x5EED0004));
  const Bytes block = RandomStream(rng, 4000);
  std::size_t peak = 0;
  {
    DeviceFeeder feeder(*line, block);
    // Watch the queue while the block arrives and nobody reads.
    ASSERT_TRUE(WaitUntil(
        [&] {
          peak = std::max(peak, static_cast<std::size_t>(port->ReceiveUsed()));
          return feeder.fed() == block.size();
        },
        5s));
  }
  // The device's last byte is in (or dropped).
  ASSERT_TRUE(WaitUntil([&] { return line->device().OutQueue() == 0; }, 3s));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(peak, kQueue);
  EXPECT_EQ(port->ReceiveUsed(), static_cast<int>(kQueue));

  // Reading resumes: the queue, then the driver's buffer - the first 1024
  // bytes exactly; everything after them was dropped by the driver.
  Bytes got;
  EXPECT_TRUE(WaitUntil(
      [&] {
        take(300, got);
        return got.size() >= kQueue + kDriverBuffer && port->overflow > 0;
      },
      3s));
  std::this_thread::sleep_for(30ms);
  take(1024, got);
  EXPECT_EQ(got.size(), kQueue + kDriverBuffer);
  EXPECT_TRUE(IsPrefixOf(got, block)) << "the bytes kept are not the first ones, in order";
  EXPECT_GE(port->overflow, 1);
  EXPECT_NE(port->LineErrors & win::CE_RXOVER, 0u);
  char status[SerialPortBase::StatusLineSize];
  ASSERT_EQ(port->StatusLine(status, port->BaseLineCount + 8), 0);
  EXPECT_NE(std::string(status).find("RXOVER: 1"), std::string::npos) << status;
  EXPECT_EQ(port->Status, 0);

  // The port goes on receiving once it keeps up again.
  const Bytes after = RandomStream(rng, 300);
  line->device().Write(after);
  Bytes more;
  EXPECT_TRUE(WaitUntil(
      [&] {
        take(1024, more);
        return more.size() >= after.size();
      },
      3s));
  EXPECT_TRUE(more == after);
}

}  // namespace
}  // namespace veravo::faults
