// Valid replies that the peer splits into two writes, at every position:
// with a gap the exchange allows for, the reply is taken whole; with the
// second piece held back until the call has returned, the call gives what
// its rules make of the first piece, and the second piece is never passed
// off as a reply of its own.
#include <functional>
#include <string>
#include <vector>

#include "hostile/hostile_fixture.h"

namespace veravo::hostile {
namespace {

using namespace std::string_literals;

// How long the host lets a device answer before it reads, for the readers
// that do not wait themselves.
constexpr auto kHostWait = 120ms;

struct Family {
  const char* name;
  std::string request;                            // what the peer answers to
  std::function<AnsiString(TZPEdit&)> exchange;   // sends the request and reads the reply
  std::function<AnsiString(TZPEdit&)> readAgain;  // takes what arrived after the exchange
  std::string reply;                              // a valid reply
  std::chrono::milliseconds gap;                  // a gap the exchange allows for
  // How long after the call the exchange reads the reply at the earliest
  // (for the polling exchange: its last poll).
  std::chrono::milliseconds reads;
  bool checked;             // a partial reply gives the neutral result
  std::string suffix = "";  // appended to the reply hex by the exchange
};

// What the host side needs at most to take in bytes the peer has written,
// on a busy machine.
constexpr auto kDelivery = 15ms;
// Trials a busy machine made meaningless are run again, this many times.
constexpr int kAttempts = 5;

class SplitReplies : public EditOnPty {
 protected:
  // One exchange with the reply split after byte `at`: the second piece
  // `gap` after the first, or (late) only once the exchange has returned.
  // False when the peer's pieces left too late to say anything about the
  // exchange.
  bool Trial(const Family& f, std::size_t at, bool late) {
    const std::string first = f.reply.substr(0, at), second = f.reply.substr(at);
    peer_.Arm(f.request, [first, second, late, gap = f.gap](Peer& p) {
      p.Send(first);
      p.Stamp();
      late ? p.WaitReleased() : std::this_thread::sleep_for(gap);
      p.Send(second);
      p.Stamp();
    });
    const auto start = Clock::now();
    const std::string result = f.exchange(edit_).str();
    peer_.Release();
    peer_.Join();
    const std::vector<Clock::time_point>& sent = peer_.stamps_;
    if (sent.size() != 2) {
      ADD_FAILURE() << "the peer did not answer";
      return true;
    }
    // The pieces the exchange is to see must have left in time, and pieces
    // meant to arrive together must have left together.
    const auto deadline = start + f.reads - kDelivery;
    if (late ? sent[0] > deadline : sent[1] > deadline || (f.gap == 0ms && sent[1] - sent[0] >= 500us)) {
      Drain();
      return false;
    }
    if (!late) {
      EXPECT_EQ(result, Hex(f.reply) + f.suffix);
    } else {
      EXPECT_EQ(result, f.checked ? "" : Hex(first) + f.suffix);
      EXPECT_TRUE(WaitQueued(second.size()));
      EXPECT_EQ(f.readAgain(edit_).str(), f.checked ? "" : Hex(second));
    }
    Drain();
    return true;
  }
};

TEST_F(SplitReplies, AtEveryPosition) {
  auto after = [](std::function<void(TZPEdit&)> send, AnsiString (TZPEdit::*read)()) {
    return [send, read](TZPEdit& e) {
      send(e);
      std::this_thread::sleep_for(kHostWait);
      return (e.*read)();
    };
  };
  const Family families[] = {
      // Exchanges that wait a fixed time after sending before they read: 50 ms,
      // 50 ms, and (after reading away earlier input for 100 ms) 80 + 100 ms.
      {"SendAnyHex", "\xA1\xA2"s, [](TZPEdit& e) { return e.SendAnyHex("A1A2"); }, &TZPEdit::AnyHexRead,
       "\x0A\0\x0C\x0D\x0E\x0F"s, 10ms, 50ms, false},
      {"HYWriteCheck", "\xB1\xB2"s, [](TZPEdit& e) { return e.HYWriteCheck("B1B2"); }, &TZPEdit::HYReadData,
       "\x31\x32\0\x34\x35\x36"s, 10ms, 50ms, false},
      {"HDGWriteData", "\x05\x01\x01"s, [](TZPEdit& e) { return e.HDGWriteData("05,0101"); },
       &TZPEdit::HDGGetData, "\x45\x46\x47\0\x49\x4A"s, 40ms, 290ms, false, "~1"},
      // Polls 10 ms apart, each taking what has arrived: only pieces that reach
      // the port together (closer than its 1 ms read interval) make a reply.
      {"SBQWriteData", "\x01\x02"s, [](TZPEdit& e) { return e.SBQWriteData("0102"); }, &TZPEdit::CCSBQGetData,
       WithCrc("\x01\x02\x41\x42"s), 0ms, 200ms, true},
      // Readers called after the host waited; zero and high bytes count in
      // their checks (no first piece of these replies passes them by chance).
      {"CRTRead", "\xC1\xC2"s, after([](TZPEdit& e) { e.CRTPort("C1C2"); }, &TZPEdit::CRTRead),
       &TZPEdit::CRTRead, "\x80\x90\xFF\x41\0\x41"s, 20ms, kHostWait, true},
      // (The family's own command goes out at 7 data bits and even parity, a
      // format a pseudo-terminal refuses; any request will do here.)
      {"SBQGetData", "!"s, after([](TZPEdit& e) { e.SendAnyChar("!"); }, &TZPEdit::SBQGetData),
       &TZPEdit::SBQGetData, "\xF2\x31\xB2\0\x0D\x83"s, 20ms, kHostWait, true},
      {"GetData", "?"s, after([](TZPEdit& e) { e.SendAnyChar("?"); }, &TZPEdit::GetData), &TZPEdit::GetData,
       "\xF0\0\x0F\0\x80\x7F"s, 20ms, kHostWait, true},
      {"GetATCom", "AT\r"s, after([](TZPEdit& e) { e.SendATCommand("AT\r"); }, &TZPEdit::GetATCom),
       &TZPEdit::GetATCom, "\r\nOK\r\n"s, 20ms, kHostWait, false},
  };
  for (const Family& f : families) {
    for (std::size_t at = 1; at < f.reply.size(); ++at) {
      for (bool late : {false, true}) {
        if (HasFatalFailure()) return;  // the line did not go quiet
        SCOPED_TRACE(std::string(f.name) + (late ? ", late" : "") + ", split after byte " +
                     std::to_string(at));
        int attempts = 0;
        while (!Trial(f, at, late) && ++attempts < kAttempts) {
        }
        EXPECT_LT(attempts, kAttempts) << "the machine was too busy to send the pieces in time";
      }
    }
  }
}

}  // namespace
}  // namespace veravo::hostile
