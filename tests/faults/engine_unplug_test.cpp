// Pulling the cable at random moments of long two-way transfers: the port
// reports the loss by result code, what did arrive is an unbroken prefix of
// what was sent (in both directions), and destroying the port is prompt.
#include "faults/fault_support.h"

namespace veravo::faults {
namespace {

TEST(EngineUnplug, AtRandomPointsOfLongTwoWayTransfers) {
  std::mt19937 rng(TestSeed(0x5EED0001));
  const int rounds = Scaled(12);
  constexpr int kBaud = 115200;
  const std::string name = UniqueLineName("unplug-stream");
  auto line = FollowingLine(name);
  ASSERT_TRUE(line);

  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    line->replug();
    TakeDeviceBytes(*line);
    const Bytes toDevice = RandomStream(rng, std::uniform_int_distribution<std::size_t>(1500, 5000)(rng));
    const Bytes toHost = RandomStream(rng, std::uniform_int_distribution<std::size_t>(1500, 5000)(rng));
    // Line time of the longer stream, 10 bits a byte; the cable goes
    // anywhere from the first byte to a little after the last.
    const double streamMs = std::max(toDevice.size(), toHost.size()) * 10.0 * 1000.0 / kBaud;
    const auto unplugAfter = std::chrono::microseconds(
        static_cast<long>(std::uniform_real_distribution<double>(0, 1.2 * streamMs)(rng) * 1000));

    auto port = std::make_unique<SerialPort>(name.c_str(), "115200,N,8,1");
    ASSERT_EQ(port->Status, 0);
    HostPump pump(*port, toDevice);
    std::thread host([&] { pump.Run(); });
    DeviceFeeder feeder(*line, toHost);
    std::this_thread::sleep_for(unplugAfter);
    line->unplug();
    feeder.Stop();
    // The pump ends at the first refused transfer; a pump that had queued
    // everything before the cable went only reads (reads do not notice).
    WaitUntil([&] { return pump.done || pump.sent == toDevice.size(); }, 5s);
    std::this_thread::sleep_for(20ms);
    pump.stop = true;
    host.join();

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

    // Both directions: an unbroken prefix of what was sent, byte for byte.
    const Bytes arrivedAtDevice = TakeDeviceBytes(*line);
    EXPECT_TRUE(IsPrefixOf(arrivedAtDevice, toDevice))
        << arrivedAtDevice.size() << " of " << toDevice.size() << " bytes";
    EXPECT_TRUE(IsPrefixOf(pump.in, toHost)) << pump.in.size() << " of " << toHost.size() << " bytes";

    const auto t0 = Clock::now();
    RunWithDeadline("destroying an unplugged port", 10s, [&] { port.reset(); });
    EXPECT_LT(MsSince(t0), 2000);
  }
  // A replugged line opens again.
  line->replug();
  SerialPort again(name.c_str(), "115200,N,8,1");
  EXPECT_EQ(again.Status, 0);
}

}  // namespace
}  // namespace veravo::faults
