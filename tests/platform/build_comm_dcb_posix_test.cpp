// Reading mode-syntax device definitions into a DCB.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace veravo::win {
namespace {

// A DCB with every bit set, so that what the builder writes is visible.
DCB Dirty() {
  DCB dcb;
  std::memset(&dcb, 0xFF, sizeof dcb);
  return dcb;
}

// What a definition sets, as one line: baud, parity letter, fParity and data
// bits, stop bits (0 one, 1 one and a half, 2 two), DTR and RTS control, then
// the CTS, DSR, XON/XOFF-out and XON/XOFF-in flags.
std::string Describe(const DCB& d) {
  char text[96];
  std::snprintf(
      text, sizeof text, "%lu %c%u%u stop%u dtr%u rts%u flow%u%u%u%u", static_cast<unsigned long>(d.BaudRate),
      "NOEMS" [d.Parity % 5], unsigned { d.fParity }, unsigned{d.ByteSize}, unsigned{d.StopBits},
      unsigned{d.fDtrControl}, unsigned{d.fRtsControl}, unsigned{d.fOutxCtsFlow}, unsigned{d.fOutxDsrFlow},
      unsigned{d.fOutX}, unsigned{d.fInX});
  return text;
}

// Each definition starts from Dirty(): the comma form sets the fields it has
// and plain control lines (two-digit rates are short for the usual ones: 11
// is 110, 48 is 4800); the keyword form sets only what it names.
TEST(BuildCommDcbTest, CommaAndKeywordForms) {
  const std::pair<const char*, const char*> cases[] = {
      {"9600,N,8,1", "9600 N08 stop0 dtr1 rts1 flow0000"},
      {" 19200 , e , 7 , 2 ", "19200 E17 stop2 dtr1 rts1 flow0000"},
      {"11,s,5,1.5", "110 S15 stop1 dtr1 rts1 flow0000"},
      {"COM3:48,M,8,1", "4800 M18 stop0 dtr1 rts1 flow0000"},
      {"1200,e", "1200 E1255 stop255 dtr1 rts1 flow0000"},
      {"9600,o,8,1,x", "9600 O18 stop0 dtr1 rts1 flow0011"},
      {"9600,n,8,1,p", "9600 N08 stop0 dtr2 rts2 flow1100"},
      {"baud=96 parity=E data=7 stop=1 dtr=off rts=hs xon=off octs=on to=off",
       "9600 E17 stop0 dtr0 rts2 flow1100"},
      {"BAUD=1200 PARITY=n DATA=8 STOP=2 RTS=tg DTR=hs ODSR=off IDSR=off",
       "1200 N08 stop2 dtr2 rts3 flow1011"},
  };
  for (const auto& [text, want] : cases) {
    DCB dcb = Dirty();
    ASSERT_TRUE(BuildCommDCBA(text, &dcb)) << text;
    EXPECT_EQ(Describe(dcb), want) << text;
    EXPECT_EQ(dcb.fAbortOnError, 1u) << text;  // never the builder's business
    EXPECT_EQ(static_cast<BYTE>(dcb.XonChar), 0xFF) << text;
  }
}

TEST(BuildCommDcbTest, UnreadableDefinitionsFailAndLeaveTheDcbAlone) {
  // clang-format off
  const char* bad[] = {"", "   ", "junk", "9600,N,9,1", "9600,N,8,3", "9600,X,8,1", "0,N,8,1", "9600;N;8;1",
                       "9600,N,8,1,q", "9600,N,8,1,x,1", "-9600,N,8,1", "96OO,N,8,1", "9600,NN,8,1",
                       "baud=9600 parity=Q", "baud=9600 stop=3", "baud=9600 xon=maybe", "baud=9600 speed=fast", "baud=9600 parity", "baud=", "9600 N 8 1",
                       "9600,N,4,1"};
  // clang-format on
  for (const char* text : bad) {
    DCB dcb = Dirty();
    DCB before = dcb;
    SetLastError(0);
    EXPECT_FALSE(BuildCommDCBA(text, &dcb)) << "'" << text << "'";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << text;
    EXPECT_EQ(std::memcmp(&dcb, &before, sizeof dcb), 0) << text;
  }
  DCB dcb{};
  EXPECT_FALSE(BuildCommDCBA(nullptr, &dcb));
}

}  // namespace
}  // namespace veravo::win
