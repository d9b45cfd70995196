#include <veravo/sim/frame_sampling.h>

#include <cmath>
#include <vector>

namespace veravo::sim {

namespace {

// One level held for a duration measured in bit times of the sender.
struct Segment {
  double bits;
  int level;
};

void AppendFrame(std::vector<Segment>* wave, win::BYTE value, const LineFormat& format) {
  wave->push_back({1.0, 0});
  for (int i = 0; i < format.dataBits; ++i) wave->push_back({1.0, (value >> i) & 1});
  int parity = ParityBitFor(value, format);
  if (parity >= 0) wave->push_back({1.0, parity});
  double stop = format.stopBits == win::TWOSTOPBITS ? 2.0 : format.stopBits == win::ONE5STOPBITS ? 1.5 : 1.0;
  wave->push_back({stop, 1});
}

int LevelAt(const std::vector<Segment>& wave, double senderBits) {
  double t = 0;
  for (const Segment& s : wave) {
    if (senderBits < t + s.bits) return s.level;
    t += s.bits;
  }
  return 1;  // idle line
}

bool RatesDiffer(win::DWORD a, win::DWORD b) {
  return std::fabs(static_cast<double>(a) - static_cast<double>(b)) > 0.03 * static_cast<double>(a);
}

}  // namespace

SampledByte SampleFrame(win::BYTE value, const LineFormat& sent, const LineFormat& receiver,
                        const std::optional<FollowingByte>& following) {
  std::vector<Segment> wave;
  AppendFrame(&wave, value, sent);
  if (following) AppendFrame(&wave, following->value, following->format);

  // Receiver bit i is sampled half a bit after its start, in sender bit units.
  double scale = static_cast<double>(sent.baud) / static_cast<double>(receiver.baud == 0 ? 1 : receiver.baud);
  auto sample = [&](int bit) { return LevelAt(wave, (bit + 0.5) * scale); };

  SampledByte out;
  int bit = 1;
  unsigned data = 0;
  for (int i = 0; i < receiver.dataBits; ++i, ++bit) data |= static_cast<unsigned>(sample(bit)) << i;
  out.value = static_cast<win::BYTE>(data);
  if (receiver.HasParity()) {
    out.parityBit = sample(bit++);
    if (out.parityBit != ParityBitFor(out.value, receiver)) out.errors |= win::CE_RXPARITY;
  }
  if (sample(bit) == 0) out.errors |= win::CE_FRAME;
  if (RatesDiffer(sent.baud, receiver.baud)) out.errors |= win::CE_FRAME;
  return out;
}

SampledByte RecordAsSent(win::BYTE value, const LineFormat& sent, win::DWORD receiverBaud) {
  if (RatesDiffer(sent.baud, receiverBaud)) {
    LineFormat receiver;
    receiver.baud = receiverBaud;
    return SampleFrame(value, sent, receiver);
  }
  SampledByte out;
  out.value = static_cast<win::BYTE>(value & ((1u << sent.dataBits) - 1u));
  out.parityBit = ParityBitFor(value, sent);
  return out;
}

}  // namespace veravo::sim
