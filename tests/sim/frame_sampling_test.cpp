#include <gtest/gtest.h>
#include <veravo/sim/frame_sampling.h>
#include <veravo/sim/line_format.h>

#include <bit>
#include <random>

namespace veravo::sim {
namespace {

LineFormat F(const char* text) { return *LineFormat::Parse(text); }

TEST(LineFormatTest, ParsesAndRefusesSettingsTexts) {
  EXPECT_EQ(F("9600,m,8,1").Text(), "9600,M,8,1");
  EXPECT_EQ(F(" 1200 , E , 7 , 2 ").Text(), "1200,E,7,2");
  EXPECT_EQ(F("300,N,5,1.5").Text(), "300,N,5,1.5");
  for (const char* bad : {"", "9600", "9600,N,8", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "0,N,8,1",
                          "96k,N,8,1", "9600,NN,8,1"}) {
    EXPECT_FALSE(LineFormat::Parse(bad)) << bad;
  }
}

// Random formats and bytes against a model of the frame: its length, the
// parity bit by the parity rule over the data bits sent, and a receiver of
// the same format (or one recording as sent) getting every value intact. A
// mark/space mismatch keeps the value and flags the parity; so does the
// wrong parity rule where the bit differs.
TEST(FrameSamplingTest, MatchingFormatsReceiveWhatTheModelSays) {
  std::mt19937 rng(0x5A3D);
  const win::DWORD bauds[] = {300, 1200, 9600, 19200, 115200};
  const char parities[] = {'N', 'O', 'E', 'M', 'S'};
  const win::BYTE stops[] = {win::ONESTOPBIT, win::ONE5STOPBITS, win::TWOSTOPBITS};
  for (int i = 0; i < 3000; ++i) {
    const LineFormat f{bauds[rng() % 5], static_cast<win::BYTE>(5 + rng() % 4), parities[rng() % 5],
                       stops[rng() % 3]};
    const auto v = static_cast<win::BYTE>(rng());
    SCOPED_TRACE(f.Text() + " value " + std::to_string(v));
    ASSERT_EQ(LineFormat::Parse(f.Text()), f);
    const double stopBits = f.stopBits == win::ONESTOPBIT ? 1 : f.stopBits == win::ONE5STOPBITS ? 1.5 : 2;
    ASSERT_DOUBLE_EQ(f.FrameBits(), 1 + f.dataBits + (f.HasParity() ? 1 : 0) + stopBits);
    ASSERT_NEAR(f.ByteTime().count(), f.FrameBits() * 1e9 / f.baud, 1);

    const auto data = static_cast<win::BYTE>(v & ((1 << f.dataBits) - 1));
    const int ones = std::popcount(data) % 2;
    const int byRule[] = {ones, 1 - ones, 1, 0, -1};  // even, odd, mark, space, none
    const int parity = byRule[std::string_view("EOMSN").find(f.parity)];
    ASSERT_EQ(ParityBitFor(v, f), parity);
    for (const SampledByte& s : {SampleFrame(v, f, f, FollowingByte{static_cast<win::BYTE>(rng()), f}),
                                 RecordAsSent(v, f, f.baud)}) {
      ASSERT_EQ(s.errors, 0u);
      ASSERT_EQ(s.value, data);
      ASSERT_EQ(s.parityBit, parity);
    }
    if (f.HasParity()) {
      LineFormat other = f;
      other.parity = parities[1 + rng() % 4];
      const SampledByte s = SampleFrame(v, f, other);
      ASSERT_EQ(s.value, data);
      ASSERT_EQ(s.parityBit, parity);
      ASSERT_EQ(s.errors, ParityBitFor(v, other) == parity ? 0u : win::CE_RXPARITY);
    }
  }
}

TEST(FrameSamplingTest, MismatchedFramesGiveParityAndFramingErrors) {
  // No parity sent, parity expected: the stop bit (1) is read as parity; an
  // idle line then gives a good stop bit, a character right behind gives a 0.
  EXPECT_EQ(SampleFrame(0x01, F("9600,N,8,1"), F("9600,E,8,1")).errors, 0u);  // one 1 + parity 1: even
  EXPECT_EQ(SampleFrame(0x03, F("9600,N,8,1"), F("9600,E,8,1")).errors, win::CE_RXPARITY);
  EXPECT_EQ(SampleFrame(0x01, F("9600,N,8,1"), F("9600,E,8,1"), FollowingByte{0x55, F("9600,N,8,1")}).errors,
            win::CE_FRAME);

  // 8 data bits sent, 7 expected: the stop bit is sampled where bit 7 is.
  EXPECT_EQ(SampleFrame(0x41, F("9600,N,8,1"), F("9600,N,7,1")).errors, win::CE_FRAME);
  SampledByte high = SampleFrame(0xC1, F("9600,N,8,1"), F("9600,N,7,1"));
  EXPECT_EQ(high.errors, 0u);
  EXPECT_EQ(high.value, 0x41);

  // Twice the rate: framing errors and garbled values; within 3 %, as a real
  // UART tolerates, the rates count as equal.
  int garbled = 0;
  for (int v = 0; v < 256; ++v) {
    SampledByte s = SampleFrame(static_cast<win::BYTE>(v), F("19200,N,8,1"), F("9600,N,8,1"));
    EXPECT_TRUE(s.errors & win::CE_FRAME);
    garbled += s.value != v;
  }
  EXPECT_GT(garbled, 200);
  EXPECT_EQ(SampleFrame(0x5A, F("9600,N,8,1"), F("9700,N,8,1")).errors, 0u);
  EXPECT_TRUE(RecordAsSent(0x0A, F("9600,M,8,1"), 4800).errors & win::CE_FRAME);
}

}  // namespace
}  // namespace veravo::sim
