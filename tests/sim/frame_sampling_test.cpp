#include <gtest/gtest.h>
#include <veravo/sim/frame_sampling.h>
#include <veravo/sim/line_format.h>

namespace veravo::sim {
namespace {

LineFormat F(const char* text) { return *LineFormat::Parse(text); }

TEST(LineFormatTest, ParsesPrintsAndTimesFrames) {
  EXPECT_EQ(F("9600,m,8,1").Text(), "9600,M,8,1");
  EXPECT_EQ(F(" 1200 , E , 7 , 2 ").Text(), "1200,E,7,2");
  EXPECT_EQ(F("300,N,5,1.5").Text(), "300,N,5,1.5");
  for (const char* bad : {"", "9600", "9600,N,8", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "0,N,8,1",
                          "96k,N,8,1", "9600,NN,8,1"}) {
    EXPECT_FALSE(LineFormat::Parse(bad)) << bad;
  }
  EXPECT_DOUBLE_EQ(F("9600,N,8,1").FrameBits(), 10.0);
  EXPECT_DOUBLE_EQ(F("9600,E,7,1").FrameBits(), 10.0);
  EXPECT_DOUBLE_EQ(F("9600,M,8,2").FrameBits(), 12.0);
  EXPECT_NEAR(F("9600,N,8,1").ByteTime().count(), 1041666, 1);
  EXPECT_NEAR(F("115200,S,8,1").ByteTime().count(), 95486, 1);
}

TEST(LineFormatTest, ParityBitFollowsTheParityRule) {
  EXPECT_EQ(ParityBitFor(0x03, F("9600,E,8,1")), 0);
  EXPECT_EQ(ParityBitFor(0x07, F("9600,E,8,1")), 1);
  EXPECT_EQ(ParityBitFor(0x07, F("9600,O,8,1")), 0);
  EXPECT_EQ(ParityBitFor(0x00, F("9600,M,8,1")), 1);
  EXPECT_EQ(ParityBitFor(0xFF, F("9600,S,8,1")), 0);
  EXPECT_EQ(ParityBitFor(0xFF, F("9600,N,8,1")), -1);
  // Only the data bits count: bit 7 is not sent at 7 data bits.
  EXPECT_EQ(ParityBitFor(0x81, F("9600,E,7,1")), 1);
}

TEST(FrameSamplingTest, MatchingFormatsReceiveEveryValueIntact) {
  for (const char* text :
       {"9600,N,8,1", "9600,E,8,1", "9600,O,7,1", "9600,M,8,1", "9600,S,8,2", "9600,N,5,1.5"}) {
    LineFormat f = F(text);
    for (int v = 0; v < 256; ++v) {
      SampledByte s = SampleFrame(static_cast<win::BYTE>(v), f, f, FollowingByte{0x00, f});
      ASSERT_EQ(s.errors, 0u) << text << " value " << v;
      ASSERT_EQ(s.value, v & ((1 << f.dataBits) - 1)) << text;
      ASSERT_EQ(s.parityBit, ParityBitFor(static_cast<win::BYTE>(v), f)) << text;
    }
  }
}

TEST(FrameSamplingTest, ParityAndFramingErrorsFromFormatMismatch) {
  // Mark sent, space expected (and the other way round): value intact, parity error.
  SampledByte s = SampleFrame(0x41, F("9600,M,8,1"), F("9600,S,8,1"));
  EXPECT_EQ(s.value, 0x41);
  EXPECT_EQ(s.parityBit, 1);
  EXPECT_EQ(s.errors, win::CE_RXPARITY);
  EXPECT_EQ(SampleFrame(0x41, F("9600,S,8,1"), F("9600,M,8,1")).errors, win::CE_RXPARITY);

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
}

TEST(FrameSamplingTest, DifferentBaudRateGivesFramingErrorAndGarbledValues) {
  int garbled = 0;
  for (int v = 0; v < 256; ++v) {
    SampledByte s = SampleFrame(static_cast<win::BYTE>(v), F("19200,N,8,1"), F("9600,N,8,1"));
    EXPECT_TRUE(s.errors & win::CE_FRAME);
    garbled += s.value != v;
  }
  EXPECT_GT(garbled, 200);
  // Within 3 %, as a real UART tolerates the rates count as equal.
  EXPECT_EQ(SampleFrame(0x5A, F("9600,N,8,1"), F("9700,N,8,1")).errors, 0u);
}

TEST(FrameSamplingTest, RecordingAsSentKeepsDataAndParityBitOfAnyFormat) {
  SampledByte mark = RecordAsSent(0x0A, F("9600,M,8,1"), 9600);
  EXPECT_EQ(mark.value, 0x0A);
  EXPECT_EQ(mark.parityBit, 1);
  EXPECT_EQ(mark.errors, 0u);
  EXPECT_EQ(RecordAsSent(0x0A, F("9600,S,8,1"), 9600).parityBit, 0);
  EXPECT_EQ(RecordAsSent(0x0A, F("9600,N,8,1"), 9600).parityBit, -1);
  SampledByte seven = RecordAsSent(0xC1, F("9600,E,7,1"), 9600);
  EXPECT_EQ(seven.value, 0x41);
  EXPECT_EQ(seven.parityBit, 0);
  EXPECT_TRUE(RecordAsSent(0x0A, F("9600,M,8,1"), 4800).errors & win::CE_FRAME);
}

}  // namespace
}  // namespace veravo::sim
