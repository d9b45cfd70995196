// The component's readers and exchanges against a peer that answers too
// much, never stops answering, or puts zero and high bytes into its replies.
#include <algorithm>
#include <functional>
#include <string>

#include "hostile/hostile_fixture.h"

namespace veravo::hostile {
namespace {

using namespace std::string_literals;
using Call = std::function<AnsiString(TZPEdit&)>;

enum Kind { kRaw, kText, kHdgPolls, kChecked };
struct Method {
  const char* name;
  Call call;
  Kind kind;
  bool (*passes)(std::string_view) = nullptr;  // checked: the check of a valid reply
  std::size_t oversize = 0;                    // readers: the size of a reply longer than they take at once
  long limitMs = 1000;                         // what the method takes at most, with a generous margin
};

const Method kMethods[] = {
    {"AnyHexRead", &TZPEdit::AnyHexRead, kRaw, nullptr, 3000},
    {"GetLlsj", &TZPEdit::GetLlsj, kRaw, nullptr, 2100},
    {"HYReadData", &TZPEdit::HYReadData, kRaw, nullptr, 2100},
    {"HDGGetData", &TZPEdit::HDGGetData, kRaw, nullptr, 1500},
    {"GetATCom", &TZPEdit::GetATCom, kRaw, nullptr, 12000},
    {"UPSRead", &TZPEdit::UPSRead, kText, nullptr, 3000},
    {"GetPJD", &TZPEdit::GetPJD, kRaw},
    {"SendAnyHex", [](TZPEdit& e) { return e.SendAnyHex("A1A2"); }, kRaw},
    {"HYWriteCheck", [](TZPEdit& e) { return e.HYWriteCheck("B1B2"); }, kRaw, nullptr, 0, 3000},
    {"HDGWriteData", [](TZPEdit& e) { return e.HDGWriteData("05,0102"); }, kHdgPolls, nullptr, 0, 3500},
    {"GetData", &TZPEdit::GetData, kChecked, &XorPasses<0, 0>, 1500},
    {"WriteData", [](TZPEdit& e) { return e.WriteData("01AA55,"); }, kChecked, &XorPasses<0, 0>},
    {"CRTRead", &TZPEdit::CRTRead, kChecked, &XorPasses<3, 0>, 1500},
    {"SBQGetData", &TZPEdit::SBQGetData, kChecked, &XorPasses<1, 1>, 1500},
    {"NewSBQGetData", &TZPEdit::NewSBQGetData, kChecked, &XorPasses<1, 1>, 1500},
    {"CCSBQGetData", &TZPEdit::CCSBQGetData, kChecked, &CrcPasses, 1500},
    {"SBQWriteData", [](TZPEdit& e) { return e.SBQWriteData("0102"); }, kChecked, &CrcPasses, 0, 2000},
};

// The bytes one call may return at most.
std::size_t BufferOf(const Method& m) { return m.name == "GetATCom"s ? 10240 : 1024; }

// Replies longer than a reader takes at once: a raw reader passes them on
// whole, in pieces that fit its buffer; a checking reader sees them in
// queue-sized pieces, none of which may be taken for the reply. And a peer
// that streams from before the call until after it: each method still
// returns within its own time, with a piece of the stream or its neutral
// result.
TEST_F(EditOnPty, OversizedRepliesAndEndlessStreams) {
  const std::size_t queue = static_cast<std::size_t>(SerialPort::QueueCapacity);
  std::uint32_t seed = 1;
  for (const Method& m : kMethods) {
    SCOPED_TRACE(m.name);
    const bool text = m.kind == kText;
    // Noise, or for the character reader letters (blanks, control characters
    // and zero bytes it would trim or cut).
    auto pattern = [text, s = seed++](std::size_t i) -> unsigned char {
      return text ? 'a' + NoiseByte(i, s) % 26 : NoiseByte(i, s);
    };
    if (m.oversize > 0) {
      std::string reply;
      for (std::size_t i = 0; i < m.oversize; ++i) reply += static_cast<char>(pattern(i));
      // Checked readers: a valid reply none of whose queue-sized pieces passes the check by chance.
      for (bool piecePasses = m.kind == kChecked; piecePasses; reply = Noise(m.oversize, seed++)) {
        if (m.passes == &CrcPasses) reply = WithCrc(reply.substr(2));
        for (int b = 0; !m.passes(reply); ++b) reply.back() = static_cast<char>(b);
        piecePasses = false;
        for (std::size_t at = 0; at < reply.size(); at += queue)
          piecePasses |= m.passes(reply.substr(at, queue));
        if (!piecePasses) break;
      }
      peer_.Arm("", [reply](Peer& p) { p.Send(reply); });

      if (m.kind == kChecked) {
        for (std::size_t at = 0; at < reply.size(); at += queue) {
          // Let the queue fill up, so that the reader sees exactly this piece.
          ASSERT_TRUE(WaitQueued(std::min(queue, reply.size() - at)));
          EXPECT_EQ(m.call(edit_).str(), "") << "piece at byte " << at;
          EXPECT_EQ(edit_.GetText().str(), "");
        }
        EXPECT_EQ(Port().ReceiveUsed(), 0);
      }
      std::string got;
      for (const auto end = Clock::now() + 20s; m.kind != kChecked && got.size() < reply.size();) {
        ASSERT_LT(Clock::now(), end) << "got " << got.size() << " of " << reply.size() << " bytes";
        const std::string piece = m.call(edit_).str();
        const std::string bytes = text ? piece : Unhex(piece);
        ASSERT_TRUE(text || Hex(bytes) == piece) << piece.substr(0, 64);
        ASSERT_LE(bytes.size(), BufferOf(m));
        EXPECT_EQ(edit_.GetText().str(), piece);
        got += bytes;
        if (bytes.empty()) std::this_thread::sleep_for(1ms);
      }
      EXPECT_TRUE(m.kind == kChecked || got == reply);
      ASSERT_NO_FATAL_FAILURE(Drain());
    }

    peer_.Arm("", [pattern](Peer& p) { p.Stream(pattern); });
    ASSERT_TRUE(WaitQueued(64));  // the stream is flowing before the call

    const auto start = Clock::now();
    const std::string result = m.call(edit_).str();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(m.limitMs));
    peer_.Release();
    peer_.Join();

    std::string hex = result;
    if (m.kind == kHdgPolls) {
      // The first poll already brings part of the stream.
      ASSERT_GE(result.size(), 2u);
      EXPECT_EQ(result.substr(result.size() - 2), "~1");
      hex = result.substr(0, result.size() - 2);
    }
    const std::string bytes = text ? result : Unhex(hex);
    EXPECT_TRUE(text || Hex(bytes) == hex) << result.substr(0, 64);
    EXPECT_LE(bytes.size(), BufferOf(m));
    // A piece of noise is only accepted by a checked reader when it happens to pass the check.
    EXPECT_TRUE(m.kind == kChecked ? bytes.empty() || m.passes(bytes) : !bytes.empty()) << hex.substr(0, 64);
    EXPECT_NE(peer_.sent_.find(bytes), std::string::npos)
        << "not a piece of the stream: " << hex.substr(0, 64);
    ASSERT_NO_FATAL_FAILURE(Drain());
  }
}

// Zero bytes and bytes from 0x80 up are data like any other: they count in
// the checks, and only the character reader stops at a zero byte. (The raw
// readers pass them on in the oversized replies above, which are noise; the
// XOR readers take them in the split replies.)
TEST_F(EditOnPty, ZeroAndHighBytesInRepliesAreData) {
  struct Case {
    const char* name;
    Call read;
    std::string reply;
    std::string expected;
  };
  const Case cases[] = {
      {"UPSRead", &TZPEdit::UPSRead, "230V\0 999V"s, "230V"},
      {"UPSRead starting with a zero byte", &TZPEdit::UPSRead, "\0"s + "230V", ""},
      {"UPSRead of code page 936 text", &TZPEdit::UPSRead, " \xD5\xFD\xB3\xA3\r\n"s, "\xD5\xFD\xB3\xA3"},
      {"GetData refusing", &TZPEdit::GetData, "A\0B"s, ""},
      {"NewSBQGetData refusing", &TZPEdit::NewSBQGetData, "\0\x31\0\x32\0\0"s, ""},
      {"CCSBQGetData", &TZPEdit::CCSBQGetData, "\0\0\0\0"s, "00000000"},
      {"CCSBQGetData", &TZPEdit::CCSBQGetData, WithCrc("\0\x01\0"s), "000100D819"},
      {"CCSBQGetData", &TZPEdit::CCSBQGetData, WithCrc("\xFF\x80\0\xC3"s), Hex(WithCrc("\xFF\x80\0\xC3"s))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + Hex(c.reply));
    peer_.Arm("", [&c](Peer& p) { p.Send(c.reply); });
    peer_.Join();
    ASSERT_TRUE(WaitQueued(c.reply.size()));
    EXPECT_EQ(c.read(edit_).str(), c.expected);
    EXPECT_EQ(edit_.GetText().str(), c.expected);
    EXPECT_EQ(Port().ReceiveUsed(), 0);
    ASSERT_NO_FATAL_FAILURE(Drain());
  }
}

}  // namespace
}  // namespace veravo::hostile
