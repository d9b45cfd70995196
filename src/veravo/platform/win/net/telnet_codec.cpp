#include <veravo/platform/win/net/telnet_codec.h>

#include <algorithm>

namespace veravo::win::net {

using namespace telnet;

void AppendEscaped(const BYTE* data, std::size_t count, std::vector<BYTE>* out) {
  out->reserve(out->size() + count + 8);
  for (std::size_t i = 0; i < count; ++i) {
    out->push_back(data[i]);
    if (data[i] == kIac) out->push_back(kIac);
  }
}

// The byte after an IAC outside a sub-negotiation.
void TelnetParser::Command(BYTE byte, std::vector<BYTE>* data) {
  switch (byte) {
    case kIac:
      data->push_back(kIac);
      state_ = State::kData;
      break;
    case kWill:
    case kWont:
    case kDo:
    case kDont:
      verb_ = byte;
      state_ = State::kVerb;
      break;
    case kSb:
      state_ = State::kSbOption;
      break;
    default:  // NOP, GA, a stray SE and the other one-byte commands carry nothing for us
      state_ = State::kData;
      break;
  }
}

void TelnetParser::Feed(const BYTE* in, std::size_t count, std::vector<BYTE>* data,
                        std::vector<TelnetEvent>* events) {
  const std::size_t base = data->size();
  for (std::size_t i = 0; i < count; ++i) {
    const BYTE b = in[i];
    switch (state_) {
      case State::kData: {
        // Copy the run of plain data at once.
        const BYTE* end = std::find(in + i, in + count, kIac);
        data->insert(data->end(), in + i, end);
        i = static_cast<std::size_t>(end - in);
        if (i < count) state_ = State::kIac;
        break;
      }
      case State::kIac:
        Command(b, data);
        break;
      case State::kVerb: {
        TelnetEvent e;
        e.kind = TelnetEvent::Kind::kOption;
        e.dataOffset = data->size() - base;
        e.verb = verb_;
        e.option = b;
        events->push_back(std::move(e));
        state_ = State::kData;
        break;
      }
      case State::kSbOption:
        sub_ = TelnetEvent{};
        sub_.kind = TelnetEvent::Kind::kSubnegotiation;
        sub_.option = b;
        state_ = State::kSbData;
        break;
      case State::kSbData:
      case State::kSbIac:
        if (state_ == State::kSbData && b == kIac) {
          state_ = State::kSbIac;
          break;
        }
        if (state_ == State::kSbIac && b != kIac) {
          // IAC SE ends it; IAC and anything else also ends it (a peer that
          // forgot the SE), and the byte is then read as a command.
          sub_.dataOffset = data->size() - base;
          events->push_back(std::move(sub_));
          sub_ = TelnetEvent{};
          if (b == kSe) {
            state_ = State::kData;
          } else {
            Command(b, data);
          }
          break;
        }
        if (sub_.payload.size() < kSubnegotiationCap) {
          sub_.payload.push_back(b);
        } else {
          sub_.truncated = true;
        }
        state_ = State::kSbData;
        break;
    }
  }
}

TelnetNegotiation::TelnetNegotiation(std::vector<BYTE> local, std::vector<BYTE> remote) {
  for (BYTE o : local) local_[o] = kOff;
  for (BYTE o : remote) remote_[o] = kOff;
}

std::vector<BYTE> TelnetNegotiation::Start() {
  std::vector<BYTE> out;
  for (int o = 0; o < 256; ++o) {
    if (local_[o] == kOff) {
      local_[o] = kAsked;
      out.insert(out.end(), {kIac, kWill, static_cast<BYTE>(o)});
    }
    if (remote_[o] == kOff) {
      remote_[o] = kAsked;
      out.insert(out.end(), {kIac, kDo, static_cast<BYTE>(o)});
    }
  }
  return out;
}

std::vector<BYTE> TelnetNegotiation::Answer(BYTE verb, BYTE option) {
  const bool asksLocal = verb == kDo || verb == kDont;
  BYTE& state = asksLocal ? local_[option] : remote_[option];
  const bool enable = verb == kDo || verb == kWill;
  const BYTE yes = asksLocal ? kWill : kDo;
  const BYTE no = asksLocal ? kWont : kDont;
  if (enable) {
    if (state == kUnsupported) return {kIac, no, option};
    const bool answer = state == kOff;  // our own request is answered by theirs
    state = kOn;
    if (answer) return {kIac, yes, option};
    return {};
  }
  if (state == kOn || state == kAsked) {
    const bool answer = state == kOn;
    state = kOff;
    if (answer) return {kIac, no, option};
  }
  return {};
}

}  // namespace veravo::win::net
