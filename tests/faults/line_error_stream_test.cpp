// Line errors, breaks and modem-line storms while a large block streams both
// ways. The hooks see them and the transfers go on. Received bytes all
// arrive in order, the ones with a parity error included (the line delivers
// such a character with its value after reporting the error). Sent bytes
// arrive in order too, but a line error aborts a device write in progress:
// the port reports that as -496 until it is re-set, and the unsent rest of
// that batch is lost - at most two batches for each abort the port reports
// (one more batch may start from a wake-up already pending).
#include "faults/fault_support.h"

namespace veravo::faults {
namespace {

struct Storm {
  int parity = 0, framing = 0, overrun = 0, injectedBreaks = 0, sentBreaks = 0;
  int rings = 0;
  bool finalCts = false, finalDsr = false, finalCarrier = false;
};

// Until stopped: every few milliseconds one line error, break or modem-line
// change from the device end.
void RunStorm(sim::VirtualLine& line, std::mt19937& rng, const std::atomic<bool>& stop, Storm& s) {
  sim::DeviceEnd& device = line.device();
  std::uniform_int_distribution<int> pause(2, 10), kind(0, 7), breakMs(1, 3);
  while (!stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(pause(rng)));
    const int k = kind(rng);
    if (k == 0) device.InjectLineError(win::CE_RXPARITY), ++s.parity;
    if (k == 1) device.InjectLineError(win::CE_FRAME), ++s.framing;
    if (k == 2) device.InjectLineError(win::CE_OVERRUN | win::CE_FRAME), ++s.overrun, ++s.framing;
    if (k == 3) device.InjectLineError(win::CE_BREAK), ++s.injectedBreaks;
    if (k == 4) device.SendBreak(breakMs(rng)), ++s.sentBreaks;  // in line with the bytes the device sends
    if (k == 5) s.finalCts = !s.finalCts, device.SetCts(s.finalCts);
    if (k == 6) s.finalDsr = !s.finalDsr, device.SetDsr(s.finalDsr);
    if (k == 6) s.finalCarrier = !s.finalCarrier, device.SetRlsd(s.finalCarrier);
    if (k == 7) device.SetRing(true), device.SetRing(false), ++s.rings;
  }
}

TEST(LineErrorStorm, StreamingBothWaysThroughErrorsBreaksAndModemLines) {
  std::mt19937 rng(TestSeed(0x5EED0003));
  const std::size_t size = static_cast<std::size_t>(Scaled(6000));
  const std::string name = UniqueLineName("storm");
  auto line = FollowingLine(name);
  ASSERT_TRUE(line);
  auto port = std::make_unique<HookPort>(name.c_str(), "115200,E,8,1");
  ASSERT_EQ(port->Status, 0);

  const Bytes toDevice = RandomStream(rng, size);
  const Bytes toHost = RandomStream(rng, size);
  // About one received byte in fifty goes out with the wrong parity.
  std::vector<bool> wrongParity(size);
  std::bernoulli_distribution spoil(0.02);
  for (std::size_t i = 0; i < size; ++i) wrongParity[i] = spoil(rng);
  const int spoiled = static_cast<int>(std::count(wrongParity.begin(), wrongParity.end(), true));
  sim::LineFormat odd = line->core().HostFormat();
  odd.parity = 'O';

  HostPump pump(*port, toDevice);
  int aborted = 0, otherResult = 0;
  pump.onRefused = [&](int rc) {
    if (rc != result::OperationAborted) return otherResult = rc, false;
    ++aborted;
    port->Reconfigure(nullptr);  // clears the block; the queued bytes go on
    return true;
  };
  Storm storm;
  std::atomic<bool> stopStorm{false};
  std::mt19937 stormRng(rng());
  std::thread host([&] { pump.Run(); });
  std::thread stormer([&] { RunStorm(*line, stormRng, stopStorm, storm); });
  {
    DeviceFeeder feeder(*line, toHost, [&](std::size_t i) {
      return sim::DeviceWriteOptions{0, wrongParity[i] ? std::optional(odd) : std::nullopt};
    });
    const double streamMs = size * 11.0 * 1000.0 / 115200;
    EXPECT_TRUE(WaitUntil([&] { return feeder.fed() == size && pump.sent == size; },
                          std::chrono::milliseconds(static_cast<long>(streamMs * 4 + 5000))))
        << "the streams stalled: " << feeder.fed() << " fed, " << pump.sent << " queued";
  }
  stopStorm = true;
  stormer.join();
  // Once the storm is over, everything still queued goes out and the rest
  // of the received stream comes in.
  // Bytes of device reads that line errors aborted never arrive (below).
  WaitUntil([&] { return pump.received >= size; }, 2s);
  EXPECT_TRUE(WaitUntil([&] { return port->Status == 0 && port->TransmitUsed() == 0; }, 5s));
  line->device().WaitQuiet(50ms, 3s);
  pump.stop = true;
  host.join();
  const Bytes arrived = TakeDeviceBytes(*line);
  const RunMatch out = MatchRuns(toDevice, arrived);
  // A batch aborted at the very end leaves a gap at the end.
  const std::size_t gaps = out.gaps + (out.consumed < size ? 1 : 0);
  const std::size_t lost = out.lost + (size - out.consumed);

  // Received: in order, the wrong-parity ones included, nothing foreign. A
  // device read that a line error aborts hands its bytes to nobody (the
  // engine takes a read's bytes only when it succeeded), so bytes may be
  // missing: at most one read of MaxDeviceRead bytes for each line error or
  // break the hooks saw. Short runs between such losses defeat run matching,
  // so this is checked as a subsequence (greedy matching decides that exactly).
  std::size_t next = 0, placed = 0;
  for (std::uint8_t byte : pump.in) {
    while (next < toHost.size() && toHost[next] != byte) ++next;
    if (next == toHost.size()) break;
    ++next, ++placed;
  }
  EXPECT_EQ(placed, pump.in.size()) << "received byte " << placed << " is out of order or foreign";
  const std::size_t reported =
      static_cast<std::size_t>(port->parity + port->framing + port->overrun + port->breaks);
  const std::size_t inLost = size - std::min(size, pump.in.size());
  // A host that fell behind (a loaded machine) also loses what its input
  // buffer could not hold, reported as an overflow; the bound is for a host
  // that kept up.
  EXPECT_TRUE(port->overflow > 0 || inLost <= SerialPort::MaxDeviceRead * reported) << inLost << " lost";

  // Sent: in order; losses only where writes were aborted, as bounded above.
  EXPECT_TRUE(out.ok) << "byte " << out.failAt << " at the device is not in the sent stream";
  EXPECT_LE(lost, 2u * SerialPort::MaxDeviceWrite * static_cast<std::size_t>(aborted));
  EXPECT_LE(gaps, 2u * static_cast<std::size_t>(aborted)) << "bytes lost without a reported abort";
  EXPECT_EQ(port->Status, 0);

  // The hooks saw every kind, and nothing that was not sent.
  EXPECT_GE(port->parity, 1);
  EXPECT_LE(port->parity, storm.parity + spoiled);
  EXPECT_GE(port->framing, storm.framing > 0 ? 1 : 0);
  EXPECT_LE(port->framing, storm.framing);
  EXPECT_GE(port->overrun, storm.overrun > 0 ? 1 : 0);
  EXPECT_LE(port->overrun, storm.overrun);
  EXPECT_GE(port->breaks, storm.injectedBreaks + storm.sentBreaks > 0 ? 1 : 0);
  EXPECT_LE(port->breaks, storm.injectedBreaks + storm.sentBreaks);
  // The modem lines end where the device left them, and the hooks say so.
  const win::DWORD lines = (storm.finalCts ? win::MS_CTS_ON : 0) | (storm.finalDsr ? win::MS_DSR_ON : 0) |
                           (storm.finalCarrier ? win::MS_RLSD_ON : 0);
  EXPECT_TRUE(WaitUntil([&] { return port->ModemStatus == lines; }, 2s));
  EXPECT_EQ(port->cts, storm.finalCts);
  EXPECT_EQ(port->dsr, storm.finalDsr);
  EXPECT_EQ(port->carrier, storm.finalCarrier);
  EXPECT_GE(port->ringEnds, storm.rings > 0 ? 2 : 0);  // the start-up report and at least one ring end

  const auto t0 = Clock::now();
  port.reset();
  EXPECT_LT(MsSince(t0), 2000);
}

}  // namespace
}  // namespace veravo::faults
