// WaitTransmitEmpty on a virtual line: it returns once the far end has
// every byte, and with the time-out code while the far end holds the line.
#include <gtest/gtest.h>
#include <veravo/sim/virtual_line.h>

#include <string>

#include "serial/serial_test_support.h"

namespace veravo {
namespace {

using namespace std::chrono_literals;

TEST(Drain, ReturnsOnlyOnceTheFarEndHasTheLastByte) {
  struct Case {
    const char* settings;
    int bytes;
  } cases[] = {{"1200,M,8,1", 12}, {"9600,S,8,1", 1}, {"19200,E,7,2", 200}, {"115200,N,8,1", 500}};
  for (const Case& c : cases) {
    auto line = sim::VirtualLine::create(std::string("drain-") + c.settings);
    line->device().SetNineBit(true);
    line->device().SetFollowHost(true);
    SerialPort port(line->name().c_str(), c.settings);
    ASSERT_EQ(port.Status, 0) << c.settings;
    const std::string data(c.bytes, 'd');
    ASSERT_EQ(port.Write(data.data(), c.bytes, 2000, nullptr), 0) << c.settings;
    EXPECT_EQ(port.WaitTransmitEmpty(5000), 0) << c.settings;
    const double returnedAt = line->device().NowMs();
    EXPECT_TRUE(line->device().WaitFor(c.bytes, 1s)) << c.settings;
    std::vector<sim::RxRecord> got = line->device().Peek();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(c.bytes)) << c.settings;
    EXPECT_LE(got.back().tMs, returnedAt) << c.settings;  // its stop bit had ended
    EXPECT_EQ(got.back().format.Text(), c.settings);
  }
}

TEST(Drain, TimesOutWhileTheFarEndHoldsTheLineAndReportsABlockedPort) {
  auto line = sim::VirtualLine::create("drain-cts");
  SerialPort port(line->name().c_str(), "9600,N,8,1");
  ASSERT_EQ(port.Status, 0);
  EXPECT_EQ(port.WaitTransmitEmpty(0), 0);  // nothing handed over: empty at once
  port.RequestedSettings.RtsCts = 1;
  port.Reconfigure(nullptr);
  line->device().SetCts(false);
  ASSERT_EQ(port.Write("held", 4, 1000, nullptr), 0);
  EXPECT_EQ(port.WaitTransmitEmpty(0), result::Timeout);
  EXPECT_EQ(port.WaitTransmitEmpty(150), result::Timeout);
  EXPECT_EQ(line->device().Peek().size(), 0u);
  line->device().SetCts(true);
  EXPECT_EQ(port.WaitTransmitEmpty(2000), 0);
  EXPECT_EQ(line->device().Peek().size(), 4u);

  line->unplug();
  port.Write("x", 1, 1000, nullptr);
  const int rc = port.WaitTransmitEmpty(2000);
  EXPECT_LT(rc, 0);
  EXPECT_NE(rc, result::Timeout);
  EXPECT_EQ(rc, port.Status);
}

}  // namespace
}  // namespace veravo
