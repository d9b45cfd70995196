// Telnet framing for network serial ports: IAC doubling of data bytes, a
// stream parser that separates data from option commands and
// sub-negotiations, and the option negotiation state of one side.
#pragma once

#include <veravo/platform/win/win_types.h>

#include <cstddef>
#include <vector>

namespace veravo::win::net {

namespace telnet {
constexpr BYTE kIac = 255;
constexpr BYTE kDont = 254;
constexpr BYTE kDo = 253;
constexpr BYTE kWont = 252;
constexpr BYTE kWill = 251;
constexpr BYTE kSb = 250;
constexpr BYTE kSe = 240;
constexpr BYTE kBinary = 0;
constexpr BYTE kSuppressGoAhead = 3;
constexpr BYTE kComPort = 44;
// Longest sub-negotiation payload kept; longer ones are cut (and marked so)
// while the parser still waits for their end.
constexpr std::size_t kSubnegotiationCap = 256;
}  // namespace telnet

// Appends `count` data bytes to `out`, doubling every IAC.
void AppendEscaped(const BYTE* data, std::size_t count, std::vector<BYTE>* out);

struct TelnetEvent {
  enum class Kind { kOption, kSubnegotiation } kind = Kind::kOption;
  std::size_t dataOffset = 0;  // data bytes of the same Feed call that came before it
  BYTE verb = 0;               // WILL, WONT, DO, DONT (kOption)
  BYTE option = 0;
  std::vector<BYTE> payload;  // kSubnegotiation, IAC doubling undone
  bool truncated = false;     // the payload was longer than the cap
};

class TelnetParser {
 public:
  // Splits `count` received bytes into data (appended to *data) and events
  // (appended to *events, in stream order). State carries across calls.
  void Feed(const BYTE* in, std::size_t count, std::vector<BYTE>* data, std::vector<TelnetEvent>* events);

 private:
  enum class State { kData, kIac, kVerb, kSbOption, kSbData, kSbIac };
  void Command(BYTE byte, std::vector<BYTE>* data);

  State state_ = State::kData;
  BYTE verb_ = 0;
  TelnetEvent sub_;
};

// One side's option negotiation: which options it performs itself (WILL)
// and which it wants the peer to perform (DO). Answers each request once, so
// two such sides never loop.
class TelnetNegotiation {
 public:
  // `local`: options this side performs; `remote`: options it wants the
  // peer to perform.
  TelnetNegotiation(std::vector<BYTE> local, std::vector<BYTE> remote);
  // The opening requests: WILL for every local option, DO for every remote one.
  std::vector<BYTE> Start();
  // The answer (possibly empty) to a received WILL/WONT/DO/DONT.
  std::vector<BYTE> Answer(BYTE verb, BYTE option);
  bool LocalOn(BYTE option) const { return local_[option] == kOn; }
  bool RemoteOn(BYTE option) const { return remote_[option] == kOn; }

 private:
  enum : BYTE { kUnsupported, kOff, kAsked, kOn };
  BYTE local_[256] = {};
  BYTE remote_[256] = {};
};

}  // namespace veravo::win::net
