// The Telnet framing and com-port commands, without a network.
#include <gtest/gtest.h>
#include <veravo/platform/win/net/rfc2217_commands.h>

#include <tuple>

#include "rfc2217/telnet_feed.h"

namespace veravo::win::net {
namespace {

using Bytes = std::vector<BYTE>;
constexpr BYTE I = telnet::kIac;

// How a stream is cut into reads, IAC doubling and the sub-negotiation cap
// on any bytes are the codec fuzz target's properties; these are the cases
// it cannot judge by itself: what each command becomes.
TEST(TelnetParser, SeparatesDataFromCommandsAndCapsSubnegotiations) {
  // data, IAC IAC, WILL 44, data, SB 44 1 <IAC IAC> 0 IAC SE, NOP, data
  const Bytes stream = {'a', I, I, 'b', I, telnet::kWill, 44, 'c', I,  telnet::kSb, 44,
                        1,   I, I, 0,   I, telnet::kSe,   I,  241, 'd'};
  Parsed p = ParseInSteps(stream, stream.size());
  EXPECT_EQ(p.data, (Bytes{'a', I, 'b', 'c', 'd'}));
  ASSERT_EQ(p.events.size(), 2u);
  const TelnetEvent &will = p.events[0], &sub = p.events[1];
  EXPECT_EQ(std::tie(will.verb, will.option, will.dataOffset), std::make_tuple(telnet::kWill, 44, 3u));
  EXPECT_EQ(std::tie(sub.kind, sub.payload, sub.dataOffset),
            std::make_tuple(TelnetEvent::Kind::kSubnegotiation, Bytes{1, I, 0}, 4u));

  // IAC SB 44, more payload than the cap, IAC SE, then an SB that an IAC
  // WILL ends: both keep the stream in step.
  Bytes overlong = {I, telnet::kSb, 44};
  overlong.resize(3 + telnet::kSubnegotiationCap + 50, 7);
  overlong.insert(overlong.end(), {I, telnet::kSe, 'x', I, telnet::kSb, 44, 9, I, telnet::kWill, 3, 'y'});
  p = ParseInSteps(overlong, 5);
  EXPECT_EQ(p.data, (Bytes{'x', 'y'}));
  ASSERT_EQ(p.events.size(), 3u);
  EXPECT_TRUE(p.events[0].truncated);
  EXPECT_EQ(p.events[0].payload.size(), telnet::kSubnegotiationCap);
  EXPECT_EQ(p.events[1].payload, Bytes{9});  // ended by the IAC WILL that follows it
  EXPECT_EQ(std::tie(p.events[2].verb, p.events[2].option), std::make_tuple(telnet::kWill, 3));
}

TEST(TelnetNegotiation, TwoSidesAgreeWithoutLoopingAndRefuseTheUnknown) {
  TelnetNegotiation client({telnet::kBinary, telnet::kComPort}, {telnet::kBinary});
  TelnetNegotiation server({telnet::kBinary}, {telnet::kBinary, telnet::kComPort});
  // One side's answers to the three-byte commands the other sent.
  auto answers = [](TelnetNegotiation& side, const Bytes& in) {
    Bytes out;
    for (std::size_t i = 0; i + 3 <= in.size(); i += 3)
      for (BYTE b : side.Answer(in[i + 1], in[i + 2])) out.push_back(b);
    return out;
  };
  // Exchange answers until both sides fall silent.
  Bytes toServer = client.Start(), toClient = server.Start();
  for (int round = 0; round < 5 && !(toServer.empty() && toClient.empty()); ++round) {
    Bytes next = answers(client, toClient);
    toClient = answers(server, toServer);
    toServer = next;
  }
  EXPECT_TRUE(toServer.empty() && toClient.empty());
  EXPECT_TRUE(client.LocalOn(telnet::kComPort));
  EXPECT_TRUE(server.RemoteOn(telnet::kComPort));
  EXPECT_TRUE(client.LocalOn(telnet::kBinary) && client.RemoteOn(telnet::kBinary));
  EXPECT_EQ(client.Answer(telnet::kDo, 1), (Bytes{I, telnet::kWont, 1}));  // echo: no
  EXPECT_EQ(client.Answer(telnet::kWill, 1), (Bytes{I, telnet::kDont, 1}));
  EXPECT_EQ(client.Answer(telnet::kDont, telnet::kComPort), (Bytes{I, telnet::kWont, telnet::kComPort}));
  EXPECT_FALSE(client.LocalOn(telnet::kComPort));
}

TEST(ComPortCommands, DcbChangesBecomeOnlyTheCommandsTheyNeed) {
  DCB base{};
  base.BaudRate = 9600;
  base.ByteSize = 8;
  base.fDtrControl = DTR_CONTROL_ENABLE;
  base.fRtsControl = RTS_CONTROL_ENABLE;
  struct Case {
    const char* what;
    void (*change)(DCB&);
    std::vector<Bytes> commands;  // command code and value
  };
  const Case cases[] = {
      {"mark", [](DCB& d) { d.Parity = MARKPARITY; }, {{3, 4}}},
      {"space", [](DCB& d) { d.Parity = SPACEPARITY; }, {{3, 5}}},
      {"19200 7E2",
       [](DCB& d) { d.BaudRate = 19200, d.ByteSize = 7, d.Parity = EVENPARITY, d.StopBits = TWOSTOPBITS; },
       {{1, 0, 0, 0x4B, 0}, {2, 7}, {3, 3}, {4, 2}}},
      {"1.5 stop bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }, {{4, 3}}},
      {"CTS flow", [](DCB& d) { d.fOutxCtsFlow = 1; }, {{5, 3}}},
      {"XON/XOFF both ways", [](DCB& d) { d.fOutX = 1, d.fInX = 1; }, {{5, 2}, {5, 15}}},
      {"RTS handshake", [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, {{5, 16}}},
      {"DTR and RTS off",
       [](DCB& d) { d.fDtrControl = DTR_CONTROL_DISABLE, d.fRtsControl = RTS_CONTROL_DISABLE; },
       {{5, 9}, {5, 12}}},
  };
  const comport::PortSettings from = comport::SettingsOf(base);
  for (const Case& c : cases) {
    DCB want = base;
    c.change(want);
    std::vector<Bytes> expected;
    DCB applied = base;  // a server applying them gets the same line settings back
    for (const Bytes& cv : c.commands) {
      const Bytes value(cv.begin() + 1, cv.end());
      expected.push_back(comport::Encode(cv[0], value));
      EXPECT_TRUE(comport::ApplyToDcb(cv[0], value, &applied)) << c.what;
    }
    EXPECT_EQ(comport::CommandsFor(&from, comport::SettingsOf(want)), expected) << c.what;
    const comport::PortSettings got = comport::SettingsOf(applied);
    EXPECT_TRUE(comport::CommandsFor(&got, comport::SettingsOf(want)).empty()) << c.what;
  }
  EXPECT_EQ(comport::CommandsFor(nullptr, from).size(), 8u);  // the first time: everything
  EXPECT_EQ(comport::Encode(1, comport::BigEndian32(0x00FF0000)),
            (Bytes{I, telnet::kSb, 44, 1, 0, I, I, 0, 0, I, telnet::kSe}));
  DCB untouched = base;
  EXPECT_FALSE(comport::ApplyToDcb(1, {0, 0, 0x4B}, &untouched));  // a baud rate takes four bytes
  EXPECT_FALSE(comport::ApplyToDcb(2, {9}, &untouched));
  EXPECT_FALSE(comport::ApplyToDcb(3, {6}, &untouched));
  EXPECT_FALSE(comport::ApplyToDcb(2, {}, &untouched));    // no value
  EXPECT_FALSE(comport::ApplyToDcb(12, {1}, &untouched));  // a purge is no setting
  untouched.fRtsControl = RTS_CONTROL_HANDSHAKE;
  EXPECT_TRUE(comport::ApplyToDcb(5, {14}, &untouched));  // no inbound flow control: RTS plain on again
  EXPECT_EQ(untouched.fRtsControl, unsigned{RTS_CONTROL_ENABLE});
  EXPECT_TRUE(comport::ApplyToDcb(3, {0}, &untouched));  // a query changes nothing
  EXPECT_EQ(comport::SettingsOf(untouched).parity, 1);
  EXPECT_TRUE(comport::ApplyToDcb(1, {0, 0, 0x4B, 0, 7}, &untouched));  // bytes after the four: ignored
  EXPECT_EQ(untouched.BaudRate, 19200u);
}

// Every combination of the four line errors, and of the four modem lines
// before and now (MS_ bits 0x10..0x80), crosses as it was, raising the
// events of what changed (a ring only as it ends).
TEST(ComPortCommands, LineAndModemStatesMapBothWays) {
  for (DWORD bits = 0; bits < 16; ++bits) {
    const DWORD errors = (bits & 1 ? CE_FRAME : 0) | (bits & 2 ? CE_RXPARITY : 0) |
                         (bits & 4 ? CE_OVERRUN : 0) | (bits & 8 ? CE_BREAK : 0);
    DWORD events = 0;
    EXPECT_EQ(comport::LineErrors(comport::LineStateOf(errors), &events), errors);
    EXPECT_EQ(events, DWORD((errors & ~CE_BREAK) ? EV_ERR : 0) | ((errors & CE_BREAK) ? EV_BREAK : 0))
        << errors;
  }
  for (DWORD before = 0; before < 0x100; before += 0x10) {
    for (DWORD now = 0; now < 0x100; now += 0x10) {
      const DWORD changed = before ^ now;
      const DWORD expected = (changed & MS_CTS_ON ? EV_CTS : 0) | (changed & MS_DSR_ON ? EV_DSR : 0) |
                             (changed & MS_RLSD_ON ? EV_RLSD : 0) |
                             (before & ~now & MS_RING_ON ? EV_RINGTE : 0);
      DWORD events = 0;
      EXPECT_EQ(comport::ModemLevels(comport::ModemStateOf(now, before), &events), now);
      EXPECT_EQ(events, expected) << before << "->" << now;
    }
  }
}

}  // namespace
}  // namespace veravo::win::net
