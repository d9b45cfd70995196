// A Telnet stream fed to a fresh parser in pieces of `step` bytes, as a
// socket might cut it: the data bytes and the events that came out.
#pragma once

#include <veravo/platform/win/net/telnet_codec.h>

#include <algorithm>
#include <vector>

namespace veravo::win::net {

struct Parsed {
  std::vector<BYTE> data;
  std::vector<TelnetEvent> events;
};

inline Parsed ParseInSteps(const std::vector<BYTE>& stream, std::size_t step) {
  Parsed p;
  TelnetParser parser;
  for (std::size_t at = 0; at < stream.size(); at += step) {
    parser.Feed(stream.data() + at, std::min(step, stream.size() - at), &p.data, &p.events);
  }
  return p;
}

}  // namespace veravo::win::net
