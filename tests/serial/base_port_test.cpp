// What the port base class gives a port that brings only its queue
// operations: discarding what was received takes it all, batch by batch.
#include <gtest/gtest.h>
#include <veravo/serial/serial_port_base.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace veravo {
namespace {

// A port whose received bytes are a string; nothing is ever sent.
class StringPort : public SerialPortBase {
 public:
  explicit StringPort(std::string received) : received_(std::move(received)) {}
  int TakeReceived(char* buf, int count) override {
    ByteCount =
        static_cast<unsigned>(std::min<std::size_t>(static_cast<std::size_t>(count), received_.size()));
    std::memcpy(buf, received_.data(), ByteCount);
    buf[ByteCount] = '\0';
    received_.erase(0, ByteCount);
    return 0;
  }
  int PutTransmit(const char*, int) override { return 0; }
  int TakeReceivedByte() override { return -98; }
  int PutTransmitByte(char) override { return 0; }
  int TransmitFree() override { return 0; }
  int ReceiveUsed() override { return static_cast<int>(received_.size()); }

 private:
  std::string received_;
};

TEST(PortBase, DiscardReceivedTakesEverything) {
  StringPort port(std::string(100, 'x'));
  EXPECT_EQ(port.DiscardReceived(), 0);
  EXPECT_EQ(port.ReceiveUsed(), 0);
}

}  // namespace
}  // namespace veravo
