// The port's threads against a virtual line: parity switching on the wire,
// line errors and modem lines reaching the hooks, breaks, and drain. (Failed device
// writes blocking the port until Reconfigure, and transfers going on through
// line errors, are the fault-injection suite's line error storm.)
#include <gtest/gtest.h>
#include <veravo/sim/virtual_line.h>

#include <string>
#include <thread>

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

std::string Parities(sim::VirtualLine& line) {
  std::string letters;
  for (const sim::RxRecord& r : line.device().Read()) letters += r.format.parity;
  return letters;
}

// One port on one line through modem line changes, breaks, a held line,
// parity switched under queued bytes, line errors, and an unplug. (A mark
// address byte and then space data, switched between calls, are the
// multi-drop frame tables of the device suite.)
TEST(LineTraffic, ModemLinesBreaksDrainParityAndLineErrors) {
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
  EXPECT_TRUE(WaitUntil(
      [&] {
        for (const sim::TraceEntry& e : line->trace())
          if (e.kind == sim::TraceKind::kBreak) return true;
        return false;
      },
      3s));
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
  const std::string letters = Parities(*line);
  EXPECT_EQ(letters.front(), 'M');
  EXPECT_EQ(letters.find_last_of('M') + 1, letters.find_first_of('S')) << letters;

  // Applied settings switch parity checking on; the open alone leaves it to
  // the system's mode-string builder, which on Windows does not.
  port.Reconfigure("9600,E,8,1");
  line->device().SetNineBit(false);
  line->device().SetFormat(line->core().HostFormat());
  sim::LineFormat odd = line->core().HostFormat();
  odd.parity = 'O';
  const int breaks = port.breaks;
  line->device().Write("x", sim::DeviceWriteOptions{0, odd});  // a wrong parity bit
  ASSERT_TRUE(WaitUntil([&] { return port.parity > 0; }));
  line->device().InjectLineError(win::CE_FRAME);
  ASSERT_TRUE(WaitUntil([&] { return port.framing > 0; }));
  line->device().SendBreak(20);
  ASSERT_TRUE(WaitUntil([&] { return port.breaks > breaks; }));
  EXPECT_EQ(port.overflow + port.overrun, 0);  // only the errors that came are reported
  char buf[8];
  ASSERT_EQ(port.StatusLine(buf, 10, sizeof buf), 0);  // cut to the buffer
  EXPECT_STREQ(buf, "CE_-> B");
  char status[SerialPortBase::StatusLineSize];
  ASSERT_EQ(port.StatusLine(status, 10), 0);
  EXPECT_STREQ(status, "CE_-> BREAK: 1  FRAME: 1  OVERRUN: 0  RXOVER: 0  RXPARITY: 1  TXFULL: 0");

  line->unplug();
  port.Write("x", 1, 1000, nullptr);
  const int rc = port.WaitTransmitEmpty(2000);
  EXPECT_LT(rc, 0);
  EXPECT_NE(rc, result::Timeout);
  EXPECT_EQ(rc, port.Status);
}

// Bytes taken one at a time make room as reads do, whatever their value: once
// the receive queue is full of zero bytes, taking them lets the rest in.
TEST(LineTraffic, BytesTakenOneAtATimeMakeRoom) {
  auto line = NewLine();
  line->device().SetFollowHost(true);
  HookPort port(line->name().c_str(), "115200,N,8,1");
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
