// The serial engine on a virtual line whose device follows the host's
// settings, under injected faults: the cable pulled mid-transfer, storms of
// line errors and breaks, and a receiver that does not keep up.
#include "faults/fault_support.h"

namespace veravo::faults {
namespace {

class EngineFaults : public ::testing::Test {
 protected:
  std::shared_ptr<sim::VirtualLine> line_ = NewLine("engine");  // the device follows the host's settings
  const char* name_ = line_->name().c_str();
};

// The port reports the loss by result code, what did arrive is an unbroken
// prefix of what was sent (both ways), and destroying the port is prompt.
TEST_F(EngineFaults, UnplugAtRandomPointsOfLongTwoWayTransfers) {
  std::mt19937 rng(0x5EED0001);
  for (int round = 0; round < Scaled(12); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    line_->replug();
    line_->device().ReadBytes();
    const Bytes toDevice = RandomStream(rng, 1500 + rng() % 3500),
                toHost = RandomStream(rng, 1500 + rng() % 3500);
    // The cable goes anywhere from the first byte to a little after the
    // last (87 us a byte at 115200 baud).
    const auto unplugAfter =
        std::chrono::microseconds(rng() % (std::max(toDevice.size(), toHost.size()) * 104));

    auto port = std::make_unique<SerialPort>(name_, "115200,N,8,1");
    ASSERT_EQ(port->Status, 0);
    HostPump pump(*port, toDevice);
    std::atomic<std::size_t> fed{0};
    std::jthread feeder = FeedDevice(*line_, toHost, fed);
    std::this_thread::sleep_for(unplugAfter);
    line_->unplug();
    feeder = {};  // stopped and joined
    // The pump ends at the first refused transfer; a pump that had queued
    // everything before the cable went only reads (reads do not notice).
    WaitUntil([&] { return pump.done || pump.sent == toDevice.size(); }, 5s);
    std::this_thread::sleep_for(20ms);
    pump.Stop();

    // The next write fails on the device and blocks the port from then on.
    if (port->Status == 0) port->Write("!", 1, 0, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return port->Status < 0; }, 2s))
        << "a write after the unplug went unreported";
    const int status = port->Status;
    EXPECT_TRUE(pump.lastRefusal == 0 || pump.lastRefusal == status) << pump.lastRefusal;
    char buffer[16];
    EXPECT_EQ(port->Read(buffer, 8, 0), status);
    EXPECT_EQ(port->ByteCount, 0u);
    EXPECT_EQ(port->Write("x", 1, 100, nullptr), status);

    const Bytes arrivedAtDevice = line_->device().ReadBytes();
    EXPECT_TRUE(IsPrefixOf(arrivedAtDevice, toDevice)) << arrivedAtDevice.size() << " of " << toDevice.size();
    EXPECT_TRUE(IsPrefixOf(pump.in, toHost)) << pump.in.size() << " of " << toHost.size();
    ExpectPrompt("destroying an unplugged port", [&] { port.reset(); });
  }
}

// Line errors and breaks while a block streams both ways: the hooks see
// them and the transfers go on (modem-line changes are the serial
// LineTraffic.ModemLinesAndBreaks case's). Received bytes arrive
// in order. A line error aborts a
// device write in progress: the port reports -496 until it is re-set, the
// queued bytes then go on, and at most two batches are lost per abort.
TEST_F(EngineFaults, StreamingBothWaysThroughErrorsAndBreaks) {
  std::mt19937 rng(0x5EED0003);
  const std::size_t size = static_cast<std::size_t>(Scaled(6000));
  auto port = std::make_unique<HookPort>(name_, "115200,E,8,1");
  ASSERT_EQ(port->Status, 0);
  const Bytes toDevice = RandomStream(rng, size), toHost = RandomStream(rng, size);

  int aborted = 0;
  HostPump pump(*port, toDevice, [&](int rc) {
    EXPECT_EQ(rc, result::OperationAborted);
    ++aborted;
    port->Reconfigure(nullptr);  // clears the block; the queued bytes go on
    return rc == result::OperationAborted;
  });
  // Until stopped: every few milliseconds one line error or break from the device end.
  int injected[4] = {};  // parity, framing, overrun and break, as the hooks count them
  std::jthread storm([&, seed = rng()](std::stop_token stop) {
    std::mt19937 r(seed);
    sim::DeviceEnd& device = line_->device();
    std::uniform_int_distribution<int> pause(2, 10), kind(0, 4), breakMs(1, 3);
    while (!stop.stop_requested()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause(r)));
      const int k = kind(r);
      if (k == 0) device.InjectLineError(win::CE_RXPARITY), ++injected[0];
      if (k == 1) device.InjectLineError(win::CE_FRAME), ++injected[1];
      if (k == 2) device.InjectLineError(win::CE_OVERRUN | win::CE_FRAME), ++injected[2], ++injected[1];
      if (k == 3) device.InjectLineError(win::CE_BREAK), ++injected[3];
      if (k == 4) device.SendBreak(breakMs(r)), ++injected[3];  // in line with the bytes the device sends
    }
  });
  {
    std::atomic<std::size_t> fed{0};
    std::jthread feeder = FeedDevice(*line_, toHost, fed);
    // Five times the streams' time on the wire (0.1 ms a byte), and some.
    EXPECT_TRUE(
        WaitUntil([&] { return fed == size && pump.sent == size; }, std::chrono::milliseconds(size / 2) + 5s))
        << "the streams stalled: " << fed << " fed, " << pump.sent << " queued";
  }
  storm.request_stop();
  storm.join();
  // Once the storm is over, everything still queued goes out.
  WaitUntil([&] { return pump.received >= size; }, 2s);
  EXPECT_TRUE(WaitUntil([&] { return port->Status == 0 && port->TransmitUsed() == 0; }, 5s));
  line_->device().WaitQuiet(50ms, 3s);
  pump.Stop();

  // Received: in order, nothing foreign. A device read that a line error
  // aborts hands its bytes to nobody, so at most one read of MaxDeviceRead
  // bytes may be missing for each line error or break the hooks saw - unless
  // the host fell behind (a loaded machine) and its input buffer overflowed.
  EXPECT_TRUE(InOrderWithin(pump.in, toHost)) << "a received byte is out of order or foreign";
  const int seen[4] = {port->parity, port->framing, port->overrun, port->breaks};
  const auto reported = static_cast<std::size_t>(seen[0] + seen[1] + seen[2] + seen[3]);
  const std::size_t inLost = size - std::min(size, pump.in.size());
  EXPECT_TRUE(port->overflow > 0 || inLost <= SerialPort::MaxDeviceRead * reported) << inLost << " lost";
  // Sent: in order; losses only where writes were aborted.
  const Bytes arrived = line_->device().ReadBytes();
  EXPECT_TRUE(InOrderWithin(arrived, toDevice)) << "a byte at the device was not sent";
  EXPECT_LE(size - arrived.size(), 2u * SerialPort::MaxDeviceWrite * static_cast<std::size_t>(aborted));
  EXPECT_EQ(port->Status, 0);

  // The hooks saw every kind that was injected, and nothing that was not.
  for (int k = 0; k < 4; ++k) {
    EXPECT_LE(seen[k], injected[k]) << "kind " << k;
    EXPECT_GE(seen[k], injected[k] > 0 ? 1 : 0) << "kind " << k;
  }
  ExpectPrompt("destroying the port after the storm", [&] { port.reset(); });
}

// A receiver slower than the sender. The port reads from the device only as
// much as its receive queue has room for; what does not fit waits in the
// driver's input buffer (of the same capacity), and only that buffer
// overflows - reported as CE_RXOVER through the hook and the status line.
// The port goes on receiving once it keeps up again.
TEST_F(EngineFaults, ASlowReceiverLosesOnlyWhatTheDriverBufferCannotHoldAndGoesOn) {
  constexpr std::size_t kQueue = SerialPort::QueueCapacity;
  auto port = std::make_unique<HookPort>(name_, "115200,N,8,1");
  ASSERT_EQ(port->Status, 0);
  // Reads up to `count` bytes onto `into`; says how many `into` then holds.
  auto take = [&](int count, Bytes& into) {
    std::vector<char> buffer(static_cast<std::size_t>(count) + 1);
    port->Read(buffer.data(), count, 0);
    into.insert(into.end(), buffer.begin(), buffer.begin() + port->ByteCount);
    return into.size();
  };
  std::mt19937 rng(0x5EED0004);
  const Bytes block = RandomStream(rng, 4000);
  {
    std::atomic<std::size_t> fed{0};
    std::jthread feeder = FeedDevice(*line_, block, fed);  // while nobody reads
    ASSERT_TRUE(WaitUntil([&] { return fed == block.size(); }, 5s));
  }
  ASSERT_TRUE(WaitUntil([&] { return line_->device().OutQueue() == 0; }, 3s));
  std::this_thread::sleep_for(20ms);  // the device's last byte is in (or dropped)
  EXPECT_EQ(port->ReceiveUsed(), static_cast<int>(kQueue));

  // Reading resumes: the queue, then the driver's buffer - the first bytes
  // exactly; everything after them was dropped by the driver.
  Bytes got;
  EXPECT_TRUE(WaitUntil([&] { return take(300, got) >= 2 * kQueue && port->overflow > 0; }, 3s));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(take(1024, got), 2 * kQueue);
  EXPECT_TRUE(IsPrefixOf(got, block)) << "the bytes kept are not the first ones, in order";
  EXPECT_GE(port->overflow, 1);
  EXPECT_NE(port->LineErrors & win::CE_RXOVER, 0u);
  char status[SerialPortBase::StatusLineSize];
  ASSERT_EQ(port->StatusLine(status, port->BaseLineCount + 8), 0);
  EXPECT_NE(std::string(status).find("RXOVER: 1"), std::string::npos) << status;
  EXPECT_EQ(port->Status, 0);

  const Bytes after = RandomStream(rng, 300);
  line_->device().Write(after);
  Bytes more;
  EXPECT_TRUE(WaitUntil([&] { return take(1024, more) >= after.size(); }, 3s));
  EXPECT_EQ(more, after);
}

}  // namespace
}  // namespace veravo::faults
