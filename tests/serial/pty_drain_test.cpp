// WaitTransmitEmpty on a pseudo-terminal. The slave cannot see what waits
// unread in the master's buffers (its output-queue count reads 0), so a 0
// result means the far end can read every byte now; a stalled reader shows
// once those buffers are full and the driver's own buffer stops draining.
#include <gtest/gtest.h>

#include <string>

#include "serial/serial_test_support.h"

namespace veravo {
namespace {

TEST(PtyDrain, EmptyMeansReadableAtOnceAndAStalledReaderTimesOut) {
  test::Pty pty;
  SerialPort port(pty.SlavePath().c_str(), "115200,N,8,1");
  ASSERT_EQ(port.Status, 0);
  const std::string frame(300, 'f');
  ASSERT_EQ(port.Write(frame.data(), 300, 1000, nullptr), 0);
  EXPECT_EQ(port.WaitTransmitEmpty(2000), 0);
  EXPECT_EQ(pty.ReadFor(300, 0).size(), 300u);

  // Nobody reads: hand over bytes until the port cannot take more.
  const std::string chunk(256, 's');
  std::size_t written = 0;
  while (written < (1u << 20) && port.Write(chunk.data(), 256, 100, nullptr) == 0) written += 256;
  written += port.ByteCount % 256;
  ASSERT_LT(written, 1u << 20) << "the pseudo-terminal never filled up";
  EXPECT_EQ(port.WaitTransmitEmpty(200), result::Timeout);

  std::size_t read = 0;
  for (int i = 0; i < 50 && (read < written || port.WaitTransmitEmpty(0) != 0); ++i) {
    read += pty.ReadFor(written - read, 100).size();
  }
  EXPECT_EQ(read, written);
  EXPECT_EQ(port.WaitTransmitEmpty(1000), 0);
}

}  // namespace
}  // namespace veravo
