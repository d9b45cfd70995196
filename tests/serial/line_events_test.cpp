// The port's threads against a virtual line: parity switching on the wire,
// modem lines reaching the hooks, breaks, and drain. (Line errors reaching
// the hooks, failed device writes blocking the port until Reconfigure, and
// transfers going on through line errors, are the fault-injection suite's
// line error storm.)
#include <gtest/gtest.h>
#include <veravo/sim/virtual_line.h>

#include <algorithm>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/hook_port.h"
#include "support/wait.h"

namespace veravo {
namespace {

using namespace std::chrono_literals;
using test::HookPort;
using test::WaitUntil;

std::shared_ptr<sim::VirtualLine> NewLine() {
  auto line = sim::VirtualLine::create(::testing::UnitTest::GetInstance()->current_test_info()->name());
  line->device().SetNineBit(true);  // records the parity bit of every byte
  return line;
}

// One port on one line through modem line changes, breaks, a held line,
// parity switched under queued bytes, and an unplug. (A mark
// address byte and then space data, switched between calls, are the
// multi-drop frame tables of the device suite.)
TEST(LineTraffic, ModemLinesBreaksDrainParityAndUnplug) {
  auto line = NewLine();
  HookPort port(line->name().c_str(), "9600,N,8,1");
  ASSERT_TRUE(WaitUntil([&] { return port.ctsReports >= 1 && port.ringEnds == 1; }));  // initial report
  std::this_thread::sleep_for(20ms);
  const bool initially = port.cts;
  EXPECT_EQ(port.carrier, (port.ModemStatus & win::MS_RLSD_ON) != 0);  // the first report tells the lines
  EXPECT_EQ(port.dsr, (port.ModemStatus & win::MS_DSR_ON) != 0);
  const int reports = port.ctsReports;
  line->device().SetCts(!initially);
  ASSERT_TRUE(WaitUntil([&] { return port.ctsReports > reports; }));
  EXPECT_EQ(port.cts, !initially);
  for (bool on : {true, false}) {  // carrier and DSR follow the device's lines, both ways
    line->device().SetRlsd(on);
    line->device().SetDsr(on);
    EXPECT_TRUE(WaitUntil([&] { return port.carrier == on && port.dsr == on; })) << on;
  }
  line->device().SetRing(true);
  ASSERT_TRUE(WaitUntil([&] { return (port.ModemStatus & win::MS_RING_ON) != 0; }));
  line->device().SetRing(false);
  ASSERT_TRUE(WaitUntil([&] { return port.ringEnds == 2; }));
  EXPECT_EQ(port.ringStarts, 0);  // only the end of a ring is reported

  EXPECT_EQ(port.SendBreak(5000), 0);
  EXPECT_EQ(port.BreakMs, 1000);
  auto isBreak = [](const sim::TraceEntry& e) { return e.kind == sim::TraceKind::kBreak; };
  EXPECT_TRUE(WaitUntil([&] { return std::ranges::any_of(line->trace(), isBreak); }, 3s));
  EXPECT_EQ(port.SendBreak(-20), 0);
  EXPECT_EQ(port.BreakMs, 0);
  EXPECT_EQ(port.Write("go", 2, 1000, nullptr), 0);  // a negative break does not stall sending
  EXPECT_EQ(port.WaitTransmitEmpty(2000), 0);
  EXPECT_TRUE(line->device().WaitFor(2, 3s));
  line->device().Read();

  // Drain times out while the far end holds the line.
  EXPECT_EQ(port.WaitTransmitEmpty(0), 0);  // all sent: empty at once
  port.RequestedSettings.RtsCts = 1;
  port.Reconfigure(nullptr);
  line->device().SetCts(false);
  ASSERT_EQ(port.Write("held", 4, 1000, nullptr), 0);
  EXPECT_EQ(port.WaitTransmitEmpty(0), result::Timeout);
  EXPECT_EQ(port.WaitTransmitEmpty(150), result::Timeout);
  EXPECT_EQ(line->device().Peek().size(), 0u);
  line->device().SetCts(true);
  EXPECT_EQ(port.WaitTransmitEmpty(2000), 0);
  EXPECT_EQ(line->device().Read().size(), 4u);

  // Switched while 20 bytes wait: those not yet on the wire leave as space.
  port.Reconfigure("1200,M,8,1");
  ASSERT_EQ(port.Write("01234567890123456789", 20, 1000, nullptr), 0);
  std::this_thread::sleep_for(30ms);
  port.Reconfigure("1200,S,8,1");
  ASSERT_TRUE(line->device().WaitFor(20, 5s));
  std::string letters;
  for (const sim::RxRecord& r : line->device().Read()) letters += r.format.parity;
  EXPECT_EQ(letters.front(), 'M');
  EXPECT_EQ(letters.find_last_of('M') + 1, letters.find_first_of('S')) << letters;

  line->unplug();
  port.Write("x", 1, 1000, nullptr);
  const int rc = port.WaitTransmitEmpty(2000);
  EXPECT_LT(rc, 0);
  EXPECT_NE(rc, result::Timeout);
  EXPECT_EQ(rc, port.Status);
}

// On a line that follows the host's format: WaitTransmitEmpty returns only
// once the far end has the last byte; and bytes taken one at a time make
// room as reads do, whatever their value: once the receive queue is full of
// zero bytes, taking them lets the rest in.
TEST(LineTraffic, DrainAndBytesTakenOneAtATime) {
  auto line = NewLine();
  line->device().SetFollowHost(true);
  HookPort port(line->name().c_str(), nullptr);
  ASSERT_EQ(port.Status, 0);
  const std::pair<const char*, int> cases[] = {
      {"1200,M,8,1", 12}, {"9600,S,8,1", 1}, {"19200,E,7,2", 200}, {"115200,N,8,1", 500}};
  for (const auto& [settings, bytes] : cases) {
    SCOPED_TRACE(settings);
    port.Reconfigure(settings);
    const std::string data(bytes, 'd');
    ASSERT_EQ(port.Write(data.data(), bytes, 2000, nullptr), 0);
    EXPECT_EQ(port.WaitTransmitEmpty(5000), 0);
    const double returnedAt = line->device().NowMs();
    EXPECT_TRUE(line->device().WaitFor(bytes, 1s));
    const std::vector<sim::RxRecord> got = line->device().Read();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(bytes));
    EXPECT_LE(got.back().tMs, returnedAt);  // its stop bit had ended
    EXPECT_EQ(got.back().format.Text(), settings);
  }

  line->device().Write(std::vector<win::BYTE>(512, 0));
  ASSERT_TRUE(WaitUntil([&] { return port.received == 512; }));
  line->device().Write(std::vector<win::BYTE>(100, 0));
  ASSERT_TRUE(WaitUntil([&] { return line->device().OutQueue() == 0; }));  // all at the port, unread
  int taken = 0;
  EXPECT_TRUE(WaitUntil([&] {
    while (port.TakeReceivedByte() == 0) ++taken;
    return taken == 612;
  })) << taken;
}

}  // namespace
}  // namespace veravo
