// The Telnet stream parser of network serial ports, on any bytes a server
// could send: data bytes survive IAC doubling; how the stream is cut into
// reads changes nothing; no sub-negotiation is kept beyond the cap; and
// after any garbage the three bytes 0 IAC SE bring the parser back to data.
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "rfc2217/telnet_feed.h"

using veravo::win::BYTE;
using namespace veravo::win::net;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t step = 1 + input[0] % 16;
  const std::vector<BYTE> bytes(input + 1, input + size);

  // Escaped data parses back to itself, with no events.
  std::vector<BYTE> escaped;
  AppendEscaped(bytes.data(), bytes.size(), &escaped);
  Parsed round = ParseInSteps(escaped, step);
  FUZZ_CHECK(round.data == bytes && round.events.empty());

  // Any stream: the same result in one read as in small ones; caps kept.
  Parsed whole = ParseInSteps(bytes, bytes.size() + 1);
  Parsed pieces = ParseInSteps(bytes, step);
  FUZZ_CHECK(whole.data == pieces.data && whole.events.size() == pieces.events.size());
  FUZZ_CHECK(whole.data.size() <= bytes.size());
  for (std::size_t i = 0; i < whole.events.size(); ++i) {
    const TelnetEvent& e = whole.events[i];
    FUZZ_CHECK(e.payload.size() <= telnet::kSubnegotiationCap);
    FUZZ_CHECK(e.payload == pieces.events[i].payload && e.verb == pieces.events[i].verb);
  }

  // Garbage, then 0 IAC SE, then escaped data: the data comes out whole at the end.
  std::vector<BYTE> resync = bytes;
  resync.insert(resync.end(), {0, telnet::kIac, telnet::kSe});
  resync.insert(resync.end(), escaped.begin(), escaped.end());
  Parsed after = ParseInSteps(resync, step);
  FUZZ_CHECK(after.data.size() >= bytes.size());
  FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), after.data.end() - static_cast<long>(bytes.size())));
  return 0;
}
