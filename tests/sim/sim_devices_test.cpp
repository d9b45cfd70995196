#include <gtest/gtest.h>
#include <veravo/sim/devices/checks.h>
#include <veravo/sim/devices/device_factory.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <thread>

#include "sim/fake_sink.h"

namespace veravo::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<win::BYTE>;

// A host end driving a line with a simulated device on its far end.
struct SimRig : testing::HostRig {
  SimRig(const std::string& name, const std::string& description, const std::string& settings = "9600,N,8,1")
      : HostRig(name, settings) {
    auto made = MakeSimDevice(description);
    device = made.get();
    line->AttachDevice(std::move(made));
  }
  // An addressed frame as the host sends it on a multi-drop line: the
  // address byte under mark parity, a pause, the rest under space parity.
  void SendAddressed(win::BYTE address, const Bytes& rest) {
    Configure("9600,M,8,1");
    Write({address});
    std::this_thread::sleep_for(4ms);
    Configure("9600,S,8,1");
    Write(rest);
  }
  Bytes ReplyOf(std::size_t count, std::chrono::milliseconds timeout = 1s) {
    sink.WaitBytes(count, timeout);
    return sink.bytes();
  }
  SimDevice* device = nullptr;
};

TEST(SimDeviceFactoryTest, KnowsTheFamiliesAndRefusesWhatItCannotRead) {
  for (const char* family : {"printer", "display", "door", "sbq", "hdg", "board", "hy", "crt", "ups", "modem",
                             "echo", "silent", "reply:0102", "reply:0D0A@20", "echo?mode=late&late=100"}) {
    EXPECT_TRUE(MakeSimDevice(family)) << family;
  }
  std::string why;
  for (const char* bad : {"toaster", "", "reply:", "reply:XYZ", "reply:01@x", "echo?mode=loud", "echo?delay",
                          "printer:1", "sbq?reply=123"}) {
    EXPECT_FALSE(MakeSimDevice(bad, &why)) << bad;
  }
  auto tuned = MakeSimDevice("hdg?addr=0A&delay=7&reply=0102&text=a%0Db");
  SimSettings s = tuned->settings();
  EXPECT_EQ(s.address, 0x0A);
  EXPECT_EQ(s.responseMs, 7);
  EXPECT_EQ(s.reply, (Bytes{1, 2}));
  EXPECT_EQ(s.text, "a\rb");
}

TEST(SimDeviceTest, PrinterPrintsCheckedFramesAndRefusesBadOnes) {
  SimRig rig("sim-t-printer", "printer?ack=1");
  // Address 0A, header 1B 2C 7F, header check 0A^1B^2C = 3D, data "AB", data check 03.
  rig.SendAddressed(0x0A, {0x1B, 0x2C, 0x7F, 0x3D, 0x41, 0x42, 0x03});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "printed"));
  EXPECT_EQ(rig.device->LogOf("printed")[0].text, "AB");
  Bytes ack = rig.ReplyOf(3);
  EXPECT_EQ(ack, (Bytes{0x0A, 0x06, 0x0C}));
  EXPECT_EQ(ack.back(), XorOf(ack, 0, 2));

  std::this_thread::sleep_for(5ms);
  rig.SendAddressed(0x0A, {0x1B, 0x2C, 0x7F, 0x3E, 0x41, 0x42, 0x03});  // header check off by one
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "refused"));
  EXPECT_EQ(rig.device->LogOf("refused")[0].text, "bad check");

  // Without an address byte the bytes are printed as they are.
  rig.Write({'T', 'o', 't', 'a', 'l', 0x0A});
  ASSERT_TRUE(rig.device->WaitForLog(2, 1s, "printed"));
  EXPECT_EQ(rig.device->LogOf("printed")[1].text, "Total\n");
}

TEST(SimDeviceTest, PrinterFrameWithoutPauseLosesItsAddress) {
  // The host switches to space parity before the address byte has left: the
  // printer sees no address byte and prints the frame as plain bytes.
  SimRig rig("sim-t-printer-rush", "printer");
  rig.Configure("9600,M,8,1");
  rig.Write({0x0A});
  rig.Write({0x0B});
  rig.Configure("9600,S,8,1");
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s));
  EXPECT_EQ(rig.device->LogOf("printed").size(), 0u);
  rig.SendAddressed(0x0A, {0x1B, 0x2C, 0x7F, 0x3D, 0x41, 0x42, 0x03});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "printed"));
}

TEST(SimDeviceTest, DisplayShowsBothFrameForms) {
  SimRig rig("sim-t-display", "display");
  rig.SendAddressed(0x0A, {0x1B, 0x11});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "control"));
  EXPECT_EQ(rig.device->LogOf("control")[0].text, "1B");
  std::this_thread::sleep_for(5ms);
  // 01 (mark), 02, 01^02, "AB", trailer 0D, "A"^"B"^0D.
  rig.SendAddressed(0x01, {0x02, 0x03, 0x41, 0x42, 0x0D, 0x0E});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "shown"));
  EXPECT_EQ(rig.device->LogOf("shown")[0].text, "AB");
  std::this_thread::sleep_for(5ms);
  rig.SendAddressed(0x01, {0x02, 0x03, 0x41, 0x42, 0x0D, 0x0F});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "refused"));
  EXPECT_TRUE(rig.sink.bytes().empty());  // a display does not answer unless asked to
}

TEST(SimDeviceTest, DoorOpensOnlyOnItsCommand) {
  SimRig rig("sim-t-door", "door");
  rig.Write({0x01});
  rig.Write({0x53, 0x57});
  rig.Write({0x05, 0x0D});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "door"));
  std::this_thread::sleep_for(5ms);
  rig.Write({0x01, 0x53, 0x57, 0x05, 0x0A});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "refused"));
  EXPECT_EQ(rig.device->LogOf("door").size(), 1u);
}

TEST(SimDeviceTest, SbqCrcFramingAndReplyModes) {
  SimRig rig("sim-t-sbq", "sbq?late=250&gap=6");
  Bytes command{0x01, 0x02};
  AppendCrc(&command);
  ASSERT_EQ(command, (Bytes{0x01, 0x02, 0xCA, 0x3A}));

  rig.Write(command);
  Bytes reply = rig.ReplyOf(5);
  ASSERT_EQ(reply.size(), 5u);
  EXPECT_EQ(Crc16Kermit(reply, 0, 3), reply[3] | (reply[4] << 8));
  EXPECT_EQ(rig.device->LogOf("command")[0].text, "0102");

  // A bad CRC is refused and not answered.
  rig.sink.Clear();
  rig.Write({0x01, 0x02, 0xCA, 0x3B});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "refused"));
  EXPECT_FALSE(rig.sink.WaitBytes(1, 50ms));

  // Wrong check: the reply comes, its CRC does not hold.
  rig.device->SetMode(ReplyMode::kWrongCheck);
  rig.Write(command);
  reply = rig.ReplyOf(5);
  ASSERT_EQ(reply.size(), 5u);
  EXPECT_NE(Crc16Kermit(reply, 0, 3), reply[3] | (reply[4] << 8));

  // Two pieces: the first shorter than 5 bytes, then a quiet gap.
  rig.sink.Clear();
  rig.device->SetMode(ReplyMode::kTwoPieces);
  rig.Write(command);
  ASSERT_EQ(rig.ReplyOf(5).size(), 5u);
  auto chunks = rig.sink.chunks();
  ASSERT_GE(chunks.size(), 2u);
  std::size_t first = 0;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    first += chunks[i].bytes.size();
    if (i + 1 < chunks.size() && chunks[i + 1].at - chunks[i].at > 3ms) break;
  }
  EXPECT_EQ(first, 3u);

  // Late: nothing within the host's polling window, the reply comes later.
  rig.sink.Clear();
  rig.device->SetMode(ReplyMode::kLate);
  rig.Write(command);
  EXPECT_FALSE(rig.sink.WaitBytes(1, 200ms));
  EXPECT_TRUE(rig.sink.WaitBytes(5, 1s));

  // Silent: understood and logged, never answered.
  rig.sink.Clear();
  rig.device->SetMode(ReplyMode::kSilent);
  rig.Write(command);
  ASSERT_TRUE(rig.device->WaitForLog(5, 1s, "command"));
  EXPECT_FALSE(rig.sink.WaitBytes(1, 100ms));
}

TEST(SimDeviceTest, SbqXorFramingAtSevenDataBits) {
  SimRig rig("sim-t-sbq7", "sbq", "9600,E,7,1");
  // Leading byte, body 31..35, trailing byte, XOR of the body.
  Bytes body{0x31, 0x32, 0x33, 0x34, 0x35};
  Bytes command{0x02};
  command.insert(command.end(), body.begin(), body.end());
  command.push_back(0x03);
  command.push_back(XorOf(body));
  rig.Write(command);
  Bytes reply = rig.ReplyOf(8);
  ASSERT_EQ(reply.size(), 8u);
  // The host's check: the last byte is the XOR of bytes 2 to N-2.
  EXPECT_EQ(reply.back(), XorOf(reply, 1, reply.size() - 2));
  EXPECT_EQ(rig.sink.errors(), 0u);

  command.back() ^= 1;
  rig.Write(command);
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "refused"));
}

TEST(SimDeviceTest, HdgAnswersAddressedCommands) {
  SimRig rig("sim-t-hdg", "hdg?addr=05");
  rig.SendAddressed(0x05, {0x01, 0x01});
  EXPECT_EQ(rig.ReplyOf(4), (Bytes{0x05, 0x01, 0x01, 0x00}));
  EXPECT_EQ(rig.device->LogOf("command")[0].text, "05,0101");
  std::this_thread::sleep_for(5ms);
  rig.SendAddressed(0x06, {0x01, 0x01});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "ignored"));
  rig.Write({0x01, 0x01});  // still at space parity: no address byte
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "refused"));
  EXPECT_EQ(rig.sink.bytes().size(), 4u);
}

TEST(SimDeviceTest, BoardShowsBlocksClosedBy0E) {
  SimRig rig("sim-t-board", "board");
  std::string text = "PRICE 12.50";
  Bytes block{0x1B, 0x40};
  block.insert(block.end(), text.begin(), text.end());
  block.push_back(0x0D);
  block.push_back(0x0E);
  rig.Write(block);
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "shown"));
  EXPECT_EQ(rig.device->LogOf("shown")[0].text, text);
  std::this_thread::sleep_for(5ms);
  rig.Write({0x0C});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "data"));
  EXPECT_EQ(rig.device->LogOf("data")[0].text, "0C");
}

TEST(SimDeviceTest, HyNeedsNoParityEightBits) {
  SimRig rig("sim-t-hy", "hy?mode=wrongcheck");
  rig.Write({0x10, 0x20});
  Bytes reply = rig.ReplyOf(3);
  ASSERT_EQ(reply.size(), 3u);
  EXPECT_EQ(reply[0], 0x10);
  EXPECT_NE(reply.back(), 0x00);  // the wrong-check mode spoils the last byte
  rig.Configure("9600,E,7,1");
  rig.Write({0x10, 0x20});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "refused"));
  EXPECT_EQ(rig.device->LogOf("refused")[0].text, "format 9600,E,7,1");
}

TEST(SimDeviceTest, CrtChecksCommandAndClosesReplyWithXor) {
  SimRig rig("sim-t-crt", "crt");
  rig.Write({0x01, 0x02, 0x03});
  Bytes reply = rig.ReplyOf(6);
  ASSERT_EQ(reply, (Bytes{0x10, 0x20, 0x30, 0x01, 0x02, 0x03}));
  // The host's check: the last byte is the XOR of bytes 4 to N-1.
  EXPECT_EQ(reply.back(), XorOf(reply, 3, reply.size() - 1));
  rig.Write({0x01, 0x02, 0x04});
  ASSERT_TRUE(rig.device->WaitForLog(1, 1s, "refused"));
}

TEST(SimDeviceTest, UpsAndFixedReplies) {
  SimRig ups("sim-t-ups", "ups");
  ups.Write({'Q', '1', '\r'});
  Bytes reading = ups.ReplyOf(5);
  EXPECT_EQ(std::string(reading.begin(), reading.end()), "230V\r");

  SimRig fixed("sim-t-reply", "reply:0102@40");
  auto start = std::chrono::steady_clock::now();
  fixed.Write({0xFF});
  EXPECT_EQ(fixed.ReplyOf(2), (Bytes{0x01, 0x02}));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);

  SimRig silent("sim-t-silent", "silent");
  silent.Write({0x33});
  ASSERT_TRUE(silent.device->WaitForLog(1, 1s, "received"));
  EXPECT_FALSE(silent.sink.WaitBytes(1, 50ms));
}

TEST(SimDeviceTest, ModemAnswersAtCommandsAndSendsTextMessages) {
  SimRig rig("sim-t-modem", "modem");
  auto ask = [&](const std::string& line, const std::string& expected) {
    rig.sink.Clear();
    rig.Write(Bytes(line.begin(), line.end()));
    Bytes got = rig.ReplyOf(expected.size());
    EXPECT_EQ(std::string(got.begin(), got.end()), expected) << line;
  };
  ask("AT\r", "\r\nOK\r\n");
  ask("HELLO\r", "\r\nERROR\r\n");
  ask("AT+CMGS=\"10086\"\r", "\r\nERROR\r\n");  // not in text mode yet
  ask("AT+CMGF=1\r", "\r\nOK\r\n");
  ask("AT+CMGS=\"10086\"\r", "\r\n> ");
  ask("hi there\x1a\r", "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  auto messages = rig.device->LogOf("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "10086: hi there");
}

TEST(SimLineTest, SimNamesMakeKeptLinesWithTheirDevice) {
  std::unique_ptr<win::CommDriver> driver;
  win::DWORD error = 0;
  EXPECT_FALSE(win::OpenVirtualCommDriver("COM93", &driver, &error));
  EXPECT_TRUE(win::OpenVirtualCommDriver("sim:toaster", &driver, &error));
  EXPECT_FALSE(driver);
  EXPECT_EQ(error, win::ERROR_FILE_NOT_FOUND);

  ASSERT_TRUE(win::OpenVirtualCommDriver("sim:echo?delay=1", &driver, &error));
  ASSERT_TRUE(driver);
  std::unique_ptr<win::CommDriver> second;
  EXPECT_TRUE(win::OpenVirtualCommDriver("\\\\.\\SIM:ECHO?delay=1", &second, &error));
  EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
  {
    testing::FakeSink sink;
    driver->Attach(&sink);
    win::BYTE b = 0x42;
    std::size_t accepted = 0;
    driver->Write(&b, 1, &accepted);
    EXPECT_TRUE(sink.WaitBytes(1));
    driver.reset();
  }
  // Closed, the line stays registered with the same device and its log.
  auto line = VirtualLine::find("sim:echo?delay=1");
  ASSERT_TRUE(line);
  ASSERT_TRUE(line->simDevice());
  EXPECT_EQ(line->simDevice()->LogOf("received").size(), 1u);
  ASSERT_TRUE(win::OpenVirtualCommDriver("sim:echo?delay=1", &driver, &error));
  ASSERT_TRUE(driver);
  EXPECT_EQ(VirtualLine::find("sim:echo?delay=1"), line);
  driver.reset();
  line.reset();
  EXPECT_TRUE(VirtualLine::remove("sim:echo?delay=1"));
}

}  // namespace
}  // namespace veravo::sim
