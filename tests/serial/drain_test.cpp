// WaitTransmitEmpty on a virtual line returns once the far end has every byte.
#include <gtest/gtest.h>
#include <veravo/serial/_SerialPort.h>
#include <veravo/serial/result_codes.h>
#include <veravo/sim/virtual_line.h>

#include <string>

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

}  // namespace
}  // namespace veravo
