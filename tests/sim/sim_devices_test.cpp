#include <gtest/gtest.h>
#include <veravo/sim/devices/checks.h>
#include <veravo/sim/devices/device_factory.h>
#include <veravo/sim/virtual_line.h>

#include <chrono>
#include <map>
#include <thread>

#include "sim/fake_sink.h"

namespace veravo::sim {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;

// A host end driving a line with a simulated device on its far end.
struct SimRig : testing::HostRig {
  SimRig(const std::string& name, const std::string& description, const std::string& settings = "9600,N,8,1")
      : HostRig(name, settings) {
    line->AttachDevice(MakeSimDevice(description));
    device = line->simDevice();
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
    return sink.heard().bytes;
  }
  SimDevice* device = nullptr;
};

Bytes B(std::string_view text) { return Bytes(text.begin(), text.end()); }

TEST(SimDeviceFactoryTest, KnowsTheFamiliesAndRefusesWhatItCannotRead) {
  // (The other families are made by the device table.)
  for (const char* family :
       {"printer", "echo", "reply:0102", "reply:0d0f@20", "echo?mode=late&late=100", "hdg?addr=FF"}) {
    EXPECT_TRUE(MakeSimDevice(family)) << family;
  }
  for (const char* bad :
       {"toaster", "", "reply:", "reply:XYZ", "reply:01@x", "echo?mode=loud", "echo?delay", "printer:1",
        "sbq?reply=123", "door?colour=red", "hdg?addr=100", "printer?ack=2", "sbq?late=x"}) {
    EXPECT_FALSE(MakeSimDevice(bad)) << bad;
  }
  const auto device = MakeSimDevice("hdg?addr=0A&delay=7&reply=0109&text=a%0Db%30");
  ASSERT_TRUE(device);
  const SimSettings s = device->settings();
  EXPECT_EQ(s.address, 0x0A);
  EXPECT_EQ(s.responseMs, 7);
  EXPECT_EQ(s.reply, (Bytes{1, 9}));
  EXPECT_EQ(s.text, "a\rb0");
  EXPECT_EQ(MakeSimDevice("hy?mode=wrongcheck")->settings().mode, ReplyMode::kWrongCheck);
}

// One command to a device: sent plain, or after an address byte under mark
// parity when `address` >= 0, with the line switched to `format` first if
// given. It must log exactly one entry of `kind` (with `text` if given) and
// nothing of the case's other kinds, and answer with `reply` or not at all.
struct Step {
  int address;
  Bytes sent;
  const char* kind;
  const char* text;
  Bytes reply;
  const char* format = nullptr;
};

TEST(SimDeviceTest, DevicesAnswerGoodCommandsAndRefuseBadOnes) {
  const Bytes sbq7 = B("\00212345\0031");  // 7 data bits: 02, "12345", 03, their XOR
  const std::pair<const char*, std::vector<Step>> cases[] = {
      // Address 0A, header 1B 2C 7F, header check 0A^1B^2C = 3D, data "AB", data check 03.
      {"printer?ack=1",
       {{0x0A, {0x1B, 0x2C, 0x7F, 0x3D, 0x41, 0x42, 0x03}, "printed", "AB", {0x0A, 0x06, 0x0C}},
        {0x0A, {0x1B, 0x2C, 0x7F, 0x3E, 0x41, 0x42, 0x03}, "refused", "bad check", {}},
        {-1, {'T', 'o', 't', 'a', 'l', 0x0A}, "printed", "Total\n", {}}}},
      // 01 (mark), 02, 01^02, "AB", trailer 0D, "A"^"B"^0D; a display answers only when asked to.
      {"display",
       {{0x00, {0x1B, 0x1B}, "control", "1B", {}},
        {0x01, {0x02, 0x03, 0x41, 0x42, 0x0D, 0x0E}, "shown", "AB", {}},
        {0x01, {0x02, 0x03, 0x41, 0x42, 0x0D, 0x0F}, "refused", nullptr, {}}}},
      {"door",
       {{-1, {0x01, 0x53, 0x57, 0x05, 0x0D}, "door", nullptr, {}},
        {-1, {0x01, 0x53, 0x57, 0x05, 0x0A}, "refused", nullptr, {}}}},
      {"hdg?addr=05",
       {{0x05, {0x01, 0x01}, "command", "05,0101", {0x05, 0x01, 0x01, 0x00}},
        {0x06, {0x01, 0x01}, "ignored", nullptr, {}},
        {-1, {0x01, 0x01}, "refused", nullptr, {}}}},  // still at space parity: no address byte
      {"board",
       {{-1, B("\x1b@PRICE 12.50\r\x0e"), "shown", "PRICE 12.50", {}}, {-1, {0x0C}, "data", "0C", {}}}},
      {"hy",
       {{-1, {0x10, 0x20}, "command", "1020", {0x10, 0x20, 0x00}},
        {-1, {0x10, 0x20}, "refused", "format 9600,E,7,1", {}, "9600,E,7,1"}}},
      // The reply closes with the XOR of its bytes 4 to N-1.
      {"crt",
       {{-1, {0x01, 0x02, 0x03}, "command", nullptr, {0x10, 0x20, 0x30, 0x01, 0x02, 0x03}},
        {-1, {0x01, 0x02, 0x04}, "refused", nullptr, {}}}},
      {"ups", {{-1, {'Q', '1', '\r'}, "command", nullptr, {'2', '3', '0', 'V', '\r'}}}},
      {"silent", {{-1, {0x33}, "received", nullptr, {}}}},
      {"reply:0102@40", {{-1, {0xFF}, "received", "FF", {0x01, 0x02}}}},
      // At seven data bits: leading byte, body, trailing byte, XOR of the body; echoed when good.
      // Command bytes closed by their CRC-16/KERMIT, low byte first; echoed with a status byte 00.
      {"sbq",
       {{-1, {0x01, 0x02, 0xCA, 0x3A}, "command", "0102", {0x01, 0x02, 0x00, 0x6C, 0x69}},
        {-1, {0x01, 0x02, 0xCA, 0x3B}, "refused", "crc check", {}},
        {-1, sbq7, "command", "0231323334350331", sbq7, "9600,E,7,1"},
        {-1, B("\00212345\0030"), "refused", "xor check", {}}}},
      // Text messages only in text mode; a message ends with 0x1A, or 0x1B to cancel it.
      {"modem",
       {{-1, B("AT\r"), "command", "AT", B("\r\nOK\r\n")},
        {-1, B("HELLO\r"), "refused", "HELLO", B("\r\nERROR\r\n")},
        {-1, B("AT+CMGS=\"10086\"\r"), "command", nullptr, B("\r\nERROR\r\n")},
        {-1, B("AT+CMGF=1\r"), "command", nullptr, B("\r\nOK\r\n")},
        {-1, B("AT+CMGS=\"\"\r"), "command", nullptr, B("\r\nERROR\r\n")},  // no number
        {-1, B("AT+CMGS=\"10086\"\r"), "command", nullptr, B("\r\n> ")},
        {-1, B("typo\x1b"), "message", "cancelled", {}},
        {-1, B("AT+CMGS=\"10086\"\r"), "command", nullptr, B("\r\n> ")},
        {-1, B("hi there\x1a\r"), "message", "10086: hi there", B("\r\n+CMGS: 1\r\n\r\nOK\r\n")}}},
  };
  for (const auto& [description, steps] : cases) {
    SCOPED_TRACE(description);
    SimRig rig(std::string("sim-t-") + description, description);
    for (const Step& s : steps) {
      std::map<std::string, std::size_t> before;
      for (const Step& other : steps) before[other.kind] = rig.device->LogOf(other.kind).size();
      rig.sink.Clear();
      if (s.format) rig.Configure(s.format);
      if (s.address >= 0) {
        rig.SendAddressed(static_cast<win::BYTE>(s.address), s.sent);
      } else {
        rig.Write(s.sent);
      }
      ASSERT_TRUE(rig.device->WaitForLog(before[s.kind] + 1, 1s, s.kind)) << s.kind;
      for (auto& [kind, count] : before)
        EXPECT_EQ(rig.device->LogOf(kind).size(), count + (kind == s.kind)) << kind;
      if (s.text) {
        EXPECT_EQ(rig.device->LogOf(s.kind).back().text, s.text);
      }
      if (s.reply.empty()) {
        EXPECT_FALSE(rig.sink.WaitBytes(1, 30ms));
      } else {
        EXPECT_EQ(rig.ReplyOf(s.reply.size()), s.reply);
        EXPECT_EQ(rig.sink.heard().errors, 0u);
        EXPECT_EQ(rig.device->LogOf("reply").back().bytes, s.reply);  // the log shows what was sent, and when
        EXPECT_GT(rig.device->LogOf("reply").back().tMs, 0.0);
      }
      std::this_thread::sleep_for(5ms);
    }
  }
}

// The reply modes, judged by the reply's bytes and how the host's FIFO
// handed them over (a quiet gap longer than four byte times ends a piece):
// a wrong check, two pieces, late (nothing within the host's polling window,
// the reply later) and silent (logged, never answered).
TEST(SimDeviceTest, SbqReplyModes) {
  SimRig rig("sim-t-sbq", "sbq?late=250&gap=6");
  std::size_t commands = 0;
  for (ReplyMode mode :
       {ReplyMode::kWrongCheck, ReplyMode::kTwoPieces, ReplyMode::kLate, ReplyMode::kSilent}) {
    SCOPED_TRACE(static_cast<int>(mode));
    rig.sink.Clear();
    rig.device->SetMode(mode);
    rig.Write({0x01, 0x02, 0xCA, 0x3A});
    ASSERT_TRUE(rig.device->WaitForLog(++commands, 1s, "command"));
    EXPECT_EQ(rig.sink.WaitBytes(1, 200ms), mode != ReplyMode::kLate && mode != ReplyMode::kSilent);
    if (mode == ReplyMode::kSilent) continue;
    const Bytes reply = rig.ReplyOf(5);
    ASSERT_EQ(reply.size(), 5u);
    if (mode == ReplyMode::kWrongCheck) {
      EXPECT_NE(Crc16Kermit(reply, 0, 3), reply[3] | (reply[4] << 8)) << "the reply's CRC holds";
    } else {
      EXPECT_EQ(reply, (Bytes{0x01, 0x02, 0x00, 0x6C, 0x69}));
    }
    if (mode == ReplyMode::kTwoPieces) {
      EXPECT_EQ(rig.sink.heard().chunks.at(0).size(), 3u) << "the first piece is not the first three bytes";
    }
  }
}

}  // namespace
}  // namespace veravo::sim
