// Opening, re-setting and moving bytes through a port on a pseudo-terminal.
#include <gtest/gtest.h>
#include <veravo/serial/_SerialPort.h>

#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/pty.h"
#include "support/wait.h"

namespace veravo {
namespace {

using namespace std::chrono_literals;
using test::Pty;
using test::WaitUntil;

TEST(PortOpen, MissingBusyRefusedAndReconfiguredDevices) {
  SerialPort missing("/dev/veravo-no-such-tty", "9600,N,8,1");
  EXPECT_EQ(missing.Status, result::PortNotFound);
  EXPECT_EQ(missing.ReceiveThread, nullptr);
  EXPECT_EQ(SerialPort(nullptr, nullptr).Status, result::PortNotFound);
  EXPECT_EQ(missing.Reconfigure("9600,N,8,1"), 0);
  EXPECT_EQ(missing.Status, result::SetParametersFailed);  // no device to write to

  Pty pty;
  // Five data bits with two stop bits: a state the device refuses.
  SerialPort refused(pty.SlavePath().c_str(), "9600,N,5,2");
  EXPECT_EQ(refused.Status, result::PlatformError);
  EXPECT_EQ(refused.m_dwWindowsError, win::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(refused.Device, win::INVALID_HANDLE_VALUE);  // closed again: the next open works
  SerialPort port(pty.SlavePath().c_str(), nullptr);
  ASSERT_EQ(port.Status, 0);
  EXPECT_EQ(SerialPort(pty.SlavePath().c_str(), nullptr).Status, result::PortInUse);

  port.Reconfigure("9600,N,5,2");
  EXPECT_EQ(port.Status, result::PlatformError);
  char buf[8];
  EXPECT_EQ(port.Write("x", 1, 0, nullptr), result::PlatformError);
  EXPECT_EQ(port.Read(buf, 4, 0), result::PlatformError);
  EXPECT_EQ(port.DiscardTransmit(), result::PlatformError);

  // A host that sets its format once per exchange writes the same state
  // again and again; a text the builder rejects re-writes the state last
  // asked for. Random runs of such texts, against the parity last accepted.
  const std::pair<const char*, char> texts[] = {
      {"9600,M,8,1", 'M'}, {"9600,S,8,1", 'S'}, {"9600,E,8,1", 'E'},     {"9600,N,8,1", 'N'},
      {"9600,n,8,1", 'S'}, {"4800,E,7,2", 'E'}, {"no settings here", 0}, {nullptr, 0}};
  std::mt19937 rng(2117);
  char parity = 'N';
  port.Reconfigure("9600,N,8,1");
  for (int step = 0; step < 60; ++step) {
    const auto [text, letter] = texts[rng() % std::size(texts)];
    SCOPED_TRACE(std::string("step ") + std::to_string(step) + ": " + (text ? text : "(null)"));
    parity = letter ? letter : parity;
    EXPECT_EQ(port.Reconfigure(text), 0);
    EXPECT_EQ(port.Status, 0) << "platform error " << port.m_dwWindowsError;
    EXPECT_EQ(port.RequestedSettings.Parity, parity);
  }
  EXPECT_EQ(port.Write("ok", 2, 1000, nullptr), 0);
  EXPECT_EQ(pty.Receive(2, 2000ms), "ok");
}

// Write queues the data, its terminator and what fits; Read takes only what
// has arrived; WaitTransmitEmpty reports 0 once the far end can read every
// byte at once (the device side cannot see what waits unread in the
// terminal, its output count reads 0), and a stalled reader shows once those
// buffers are full and the driver's own buffer stops draining.
TEST(PortTransfer, WriteReadAndDrain) {
  Pty pty;
  SerialPort port(pty.SlavePath().c_str(), "115200,N,8,1");
  ASSERT_EQ(port.Status, 0);
  EXPECT_EQ(port.Write("AB", 0, 1000, "\r"), 0);
  EXPECT_EQ(port.ByteCount, 3u);
  EXPECT_EQ(port.Write("xyz-ignored", 3, 1000, nullptr), 0);
  EXPECT_EQ(port.Write(nullptr, 4, 1000, nullptr), result::Timeout);
  EXPECT_EQ(port.ByteCount, 0u);
  EXPECT_EQ(pty.Receive(6, 2000ms), "AB\rxyz");
  const std::string data(600, 'w');
  EXPECT_EQ(port.Write(data.data(), 600, 0, nullptr), result::Timeout);
  EXPECT_EQ(port.ByteCount, 512u);
  EXPECT_EQ(pty.Receive(600, 500ms).size(), 512u);

  char buf[32] = "#";
  EXPECT_EQ(port.Read(buf, 10, -1), result::Timeout);  // nothing there: returns at once
  EXPECT_EQ(port.ByteCount, 0u);
  EXPECT_EQ(buf[0], '\0');
  pty.Send("0123456789");
  ASSERT_TRUE(WaitUntil([&] { return port.ReceiveUsed() == 10; }));
  EXPECT_EQ(port.PeekReceived(buf, 4), 0);
  EXPECT_EQ(port.Read(buf + 4, 4, 0), 0);
  EXPECT_EQ(port.TakeReceivedByte(), '4');
  EXPECT_EQ(port.Read(buf + 8, 10, 0), result::Timeout);
  EXPECT_EQ(port.ByteCount, 5u);
  EXPECT_EQ(std::string(buf), "0123012356789");
  EXPECT_EQ(port.TakeReceivedByte(), result::Timeout);
  EXPECT_EQ(port.Read(nullptr, 5, 0), result::Timeout);
  EXPECT_EQ(port.PeekReceived(nullptr, 5), result::Timeout);  // no buffer: nothing taken
  EXPECT_EQ(port.PeekReceived(nullptr, 0), 0);                // and nothing asked for
  EXPECT_EQ(port.Read(buf, -3, 0), 0);
  pty.Send("abcdef");
  ASSERT_TRUE(WaitUntil([&] { return port.ReceiveUsed() == 6; }));
  EXPECT_EQ(port.DiscardReceived(), 0);
  pty.Send(std::string(100, 'x'));  // the base class's discard takes it all, batch by batch
  ASSERT_TRUE(WaitUntil([&] { return port.ReceiveUsed() == 100; }));
  EXPECT_EQ(port.SerialPortBase::DiscardReceived(), 0);
  pty.Send("gh");  // reading goes on after a discard
  ASSERT_TRUE(WaitUntil([&] { return port.ReceiveUsed() == 2; }));

  const std::string frame(300, 'f');
  ASSERT_EQ(port.Write(frame.data(), 300, 1000, nullptr), 0);
  EXPECT_EQ(port.WaitTransmitEmpty(2000), 0);
  EXPECT_EQ(pty.Receive(300, 20ms).size(), 300u);
  // Nobody reads: hand over bytes until the port cannot take more.
  const std::string chunk(256, 's');
  std::size_t written = 0;
  while (written < (1u << 20) && port.Write(chunk.data(), 256, 100, nullptr) == 0) written += 256;
  written += port.ByteCount % 256;
  ASSERT_LT(written, 1u << 20) << "the pseudo-terminal never filled up";
  EXPECT_EQ(port.WaitTransmitEmpty(200), result::Timeout);
  std::size_t read = 0;
  for (int i = 0; i < 50 && (read < written || port.WaitTransmitEmpty(0) != 0); ++i) {
    read += pty.Receive(written - read, 100ms).size();
  }
  EXPECT_EQ(read, written);
  EXPECT_EQ(port.WaitTransmitEmpty(1000), 0);
}

}  // namespace
}  // namespace veravo
