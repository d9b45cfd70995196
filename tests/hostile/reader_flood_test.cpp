// The component's readers against a peer that answers too much, never stops
// answering, or puts zero bytes into its replies.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "hostile/hostile_fixture.h"

namespace veravo::hostile {
namespace {

using Call = std::function<AnsiString(TZPEdit&)>;

std::size_t FirstDifference(const std::string& a, const std::string& b) {
  return static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

// Replies longer than the port's receive queue: a raw reader passes them on
// whole, in pieces that fit its buffer; a checking reader sees them in
// queue-sized pieces, none of which may be taken for the reply.
TEST_F(EditOnPty, OversizedReplies) {
  constexpr std::size_t kSize = 1500;
  const std::size_t queue = static_cast<std::size_t>(SerialPort::QueueCapacity);
  using Rule = bool (*)(std::string_view);
  struct Reader {
    const char* name;
    Call read;
    std::size_t buffer = 0;   // raw readers: bytes one call may return at most
    std::size_t reply = 0;    // raw readers: bytes the peer sends
    bool hex = true;          // the reader answers in hex (UPSRead answers in characters)
    Rule passes = nullptr;    // checking readers: the check of a valid reply
    int from = 0, trail = 0;  // the XOR covers bytes [from, size - trail); from < 0: a CRC instead
  };
  const Reader readers[] = {
      {"AnyHexRead", &TZPEdit::AnyHexRead, 1024, 3000},
      {"GetLlsj", &TZPEdit::GetLlsj, 1024, 2100},
      {"HYReadData", &TZPEdit::HYReadData, 1024, 2100},
      {"HDGGetData", &TZPEdit::HDGGetData, 1024, 1500},
      {"GetATCom", &TZPEdit::GetATCom, 10240, 12000},
      {"UPSRead", &TZPEdit::UPSRead, 1024, 3000, false},
      {"GetData", &TZPEdit::GetData, 0, 0, true, &XorOfAllPasses, 0, 0},
      {"CRTRead", &TZPEdit::CRTRead, 0, 0, true, &HeaderBodyXorPasses, 3, 0},
      {"SBQGetData", &TZPEdit::SBQGetData, 0, 0, true, &LeadBodyTrailXorPasses, 1, 1},
      {"NewSBQGetData", &TZPEdit::NewSBQGetData, 0, 0, true, &LeadBodyTrailXorPasses, 1, 1},
      {"CCSBQGetData", &TZPEdit::CCSBQGetData, 0, 0, true, &CrcPasses, -1, 0},
  };
  std::uint32_t seed = 1;
  for (const Reader& r : readers) {
    if (r.passes != nullptr) continue;
    SCOPED_TRACE(r.name);
    std::string reply = Noise(r.reply, seed++);
    // Characters without blanks, control characters or zero bytes, which
    // the character reader would trim or cut.
    if (!r.hex)
      std::transform(reply.begin(), reply.end(), reply.begin(), [](char c) { return 'A' + c % 26; });
    peer_.Arm("", [reply](PtyPeer& p) { p.Send(reply); });

    std::string got;
    std::size_t largest = 0;
    for (const auto end = Clock::now() + 20s; got.size() < reply.size() && Clock::now() < end;) {
      const std::string piece = r.read(edit_).str();
      ASSERT_TRUE(!r.hex || IsHexText(piece)) << piece.substr(0, 64);
      const std::string bytes = r.hex ? Unhex(piece) : piece;
      ASSERT_LE(bytes.size(), r.buffer);
      EXPECT_EQ(edit_.GetText().str(), piece);
      largest = std::max(largest, bytes.size());
      got += bytes;
      if (bytes.empty()) std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(got.size(), reply.size());
    EXPECT_TRUE(got == reply) << "first difference at byte " << FirstDifference(got, reply);
    EXPECT_GT(largest, 0u);
    Drain();
  }
  // A valid reply of kSize bytes.
  auto make = [](const Reader& r, std::uint32_t seed) {
    if (r.from < 0) return WithCrc(Noise(kSize - 2, seed));
    std::string body = Noise(kSize - 1, seed);
    return body + static_cast<char>(XorOf(body, static_cast<std::size_t>(r.from), body.size() - r.trail));
  };
  for (const Reader& r : readers) {
    if (r.passes == nullptr) continue;
    SCOPED_TRACE(r.name);
    // A reply none of whose queue-sized pieces passes the check by chance.
    std::string reply;
    for (std::uint32_t seed = 100;; ++seed) {
      reply = make(r, seed);
      bool piecePasses = false;
      for (std::size_t at = 0; at < kSize; at += queue) piecePasses |= r.passes(reply.substr(at, queue));
      if (!piecePasses) break;
    }
    ASSERT_TRUE(r.passes(reply));

    peer_.Arm("", [reply](PtyPeer& p) { p.Send(reply); });
    for (std::size_t at = 0; at < kSize; at += queue) {
      // Let the queue fill up, so that the reader sees exactly this piece.
      ASSERT_TRUE(WaitQueued(static_cast<int>(std::min(queue, kSize - at))));
      EXPECT_EQ(r.read(edit_), "") << "piece at byte " << at;
      EXPECT_EQ(edit_.GetText(), "");
    }
    EXPECT_EQ(Port().ReceiveUsed(), 0);
    Drain();
  }
}

// The peer streams from before the call until after it: each method still
// returns within its own time, with a piece of the stream or its neutral
// result.
TEST_F(EditOnPty, EndlessStreamsHoldNoMethodBeyondItsTime) {
  enum Kind { kRaw, kText, kHdgPolls, kChecked };
  struct Method {
    const char* name;
    Call call;
    long limitMs;  // what the method takes at most, with a generous margin
    Kind kind;
    bool (*passes)(std::string_view) = nullptr;
  };
  const Method methods[] = {
      {"AnyHexRead", &TZPEdit::AnyHexRead, 1000, kRaw},
      {"GetLlsj", &TZPEdit::GetLlsj, 1000, kRaw},
      {"HYReadData", &TZPEdit::HYReadData, 1000, kRaw},
      {"HDGGetData", &TZPEdit::HDGGetData, 1000, kRaw},
      {"GetPJD", &TZPEdit::GetPJD, 1000, kRaw},
      {"GetATCom", &TZPEdit::GetATCom, 1000, kRaw},
      {"UPSRead", &TZPEdit::UPSRead, 1000, kText},
      {"SendAnyHex", [](TZPEdit& e) { return e.SendAnyHex("A1A2"); }, 1000, kRaw},
      {"HYWriteCheck", [](TZPEdit& e) { return e.HYWriteCheck("B1B2"); }, 3000, kRaw},
      {"HDGWriteData", [](TZPEdit& e) { return e.HDGWriteData("05,0102"); }, 3500, kHdgPolls},
      {"GetData", &TZPEdit::GetData, 1000, kChecked, &XorOfAllPasses},
      {"WriteData", [](TZPEdit& e) { return e.WriteData("01AA55,"); }, 1000, kChecked, &XorOfAllPasses},
      {"CRTRead", &TZPEdit::CRTRead, 1000, kChecked, &HeaderBodyXorPasses},
      {"SBQGetData", &TZPEdit::SBQGetData, 1000, kChecked, &LeadBodyTrailXorPasses},
      {"NewSBQGetData", &TZPEdit::NewSBQGetData, 1000, kChecked, &LeadBodyTrailXorPasses},
      {"CCSBQGetData", &TZPEdit::CCSBQGetData, 1000, kChecked, &CrcPasses},
      {"SBQWriteData", [](TZPEdit& e) { return e.SBQWriteData("0102"); }, 2000, kChecked, &CrcPasses},
  };
  std::uint32_t seed = 50;
  for (const Method& m : methods) {
    SCOPED_TRACE(m.name);
    const std::uint32_t s = seed++;
    const bool text = m.kind == kText;
    peer_.Arm("", [s, text](PtyPeer& p) {
      p.StreamUntilReleased([s, text](std::size_t i) {
        const unsigned char b = NoiseByte(i, s);
        return text ? static_cast<unsigned char>('a' + b % 26) : b;
      });
    });
    ASSERT_TRUE(WaitQueued(64));  // the stream is flowing before the call

    const auto start = Clock::now();
    const std::string result = m.call(edit_).str();
    const long took = MsSince(start);
    peer_.Release();
    ASSERT_TRUE(peer_.WaitDone());
    const std::string stream = peer_.Sent();

    EXPECT_LT(took, m.limitMs);
    std::string hex = result;
    if (m.kind == kHdgPolls) {
      // The first poll already brings part of the stream.
      ASSERT_GE(result.size(), 2u);
      EXPECT_EQ(result.substr(result.size() - 2), "~1");
      hex = result.substr(0, result.size() - 2);
    }
    const std::string bytes = text ? result : Unhex(hex);
    if (!text) {
      EXPECT_TRUE(IsHexText(hex)) << result.substr(0, 64);
    }
    EXPECT_LE(bytes.size(), m.name == std::string("GetATCom") ? 10240u : 1024u);
    if (m.kind == kChecked) {
      // A piece of noise is only accepted when it happens to pass the check.
      if (!bytes.empty()) {
        EXPECT_TRUE(m.passes(bytes)) << hex.substr(0, 64);
      }
    } else {
      EXPECT_FALSE(bytes.empty());
    }
    EXPECT_NE(stream.find(bytes), std::string::npos) << "not a piece of the stream: " << hex.substr(0, 64);
    Drain();
  }
}

// Zero bytes and bytes from 0x80 up are data like any other (only the
// character reader stops at a zero byte).
TEST_F(EditOnPty, ZeroAndHighBytesInRepliesAreData) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    Call read;
    std::string reply;
    std::string expected;
  };
  const Case cases[] = {
      {"AnyHexRead", &TZPEdit::AnyHexRead, "\0A\0\0B\0"s, "004100004200"},
      {"HYReadData", &TZPEdit::HYReadData, "\0"s, "00"},
      {"HDGGetData", &TZPEdit::HDGGetData, "\0\0\x05"s, "000005"},
      {"GetATCom", &TZPEdit::GetATCom, "\r\n\0OK\r\n"s, "0D0A004F4B0D0A"},
      {"UPSRead", &TZPEdit::UPSRead, "230V\0 999V"s, "230V"},
      {"UPSRead starting with a zero byte", &TZPEdit::UPSRead, "\0"s + "230V", ""},
      {"UPSRead of code page 936 text", &TZPEdit::UPSRead, " \xD5\xFD\xB3\xA3\r\n"s, "\xD5\xFD\xB3\xA3"},
      {"GetATCom", &TZPEdit::GetATCom, "\x80\xFF\0"s, "80FF00"},
      // Checked readers: zero bytes count in the check like any other.
      {"GetData", &TZPEdit::GetData, "\0\0"s, "0000"},
      {"GetData", &TZPEdit::GetData, "A\0A"s, "410041"},
      {"GetData refusing", &TZPEdit::GetData, "A\0B"s, ""},
      {"CRTRead", &TZPEdit::CRTRead, "\0\0\0\0\0\0"s, "000000000000"},
      {"CRTRead", &TZPEdit::CRTRead, "\x10\0\x30\x41\0\x41"s, "100030410041"},
      {"CRTRead", &TZPEdit::CRTRead, "\x80\x90\xA0\xFF\xFE\x01"s, "8090A0FFFE01"},
      {"GetData", &TZPEdit::GetData, "\xF0\x0F\xFF"s, "F00FFF"},
      {"SBQGetData", &TZPEdit::SBQGetData, "\0\x31\0\x32\0\x03"s, "003100320003"},
      {"NewSBQGetData refusing", &TZPEdit::NewSBQGetData, "\0\x31\0\x32\0\0"s, ""},
      {"CCSBQGetData", &TZPEdit::CCSBQGetData, "\0\0\0\0"s, "00000000"},
      {"CCSBQGetData", &TZPEdit::CCSBQGetData, WithCrc("\0\x01\0"s), "000100D819"},
      {"CCSBQGetData", &TZPEdit::CCSBQGetData, WithCrc("\xFF\x80\0\xC3"s), Hex(WithCrc("\xFF\x80\0\xC3"s))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + Hex(c.reply));
    Deliver(c.reply);
    EXPECT_EQ(c.read(edit_).str(), c.expected);
    EXPECT_EQ(edit_.GetText().str(), c.expected);
    EXPECT_EQ(Port().ReceiveUsed(), 0);
    Drain();
  }
}

}  // namespace
}  // namespace veravo::hostile
