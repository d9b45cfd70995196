// Reading mode-syntax device definitions into a DCB.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>

#include <cstring>
#include <string>
#include <utility>

namespace veravo::win {
namespace {

// A DCB with every flow-control and line-control field set the "wrong" way,
// so that what the builder writes is visible.
DCB Dirty() {
  DCB dcb{};
  dcb.BaudRate = 1;
  dcb.ByteSize = 6;
  dcb.Parity = MARKPARITY;
  dcb.fParity = 1;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fOutxCtsFlow = 1;
  dcb.fOutxDsrFlow = 1;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  dcb.fAbortOnError = 1;
  dcb.XonChar = 0x11;
  return dcb;
}

TEST(BuildCommDcbTest, CommaFormSetsLineFormatAndPlainControlLines) {
  DCB dcb = Dirty();
  ASSERT_TRUE(BuildCommDCBA("9600,N,8,1", &dcb));
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.fParity, 0u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_ENABLE);
  EXPECT_EQ(dcb.fOutxCtsFlow + dcb.fOutxDsrFlow + dcb.fOutX + dcb.fInX, 0u);
  EXPECT_EQ(dcb.fAbortOnError, 1u);  // not the builder's business
  EXPECT_EQ(dcb.XonChar, 0x11);

  ASSERT_TRUE(BuildCommDCBA(" 19200 , e , 7 , 2 ", &dcb));
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_EQ(dcb.fParity, 1u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);

  ASSERT_TRUE(BuildCommDCBA("115200,s,5,1.5", &dcb));
  EXPECT_EQ(dcb.BaudRate, 115200u);
  EXPECT_EQ(dcb.Parity, SPACEPARITY);
  EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
  ASSERT_TRUE(BuildCommDCBA("COM3:4800,M,8,1", &dcb));
  EXPECT_EQ(dcb.BaudRate, 4800u);
  EXPECT_EQ(dcb.Parity, MARKPARITY);
  ASSERT_TRUE(BuildCommDCBA("9600,o,8,1,x", &dcb));
  EXPECT_EQ(dcb.Parity, ODDPARITY);
  EXPECT_EQ(dcb.fOutX + dcb.fInX, 2u);
}

TEST(BuildCommDcbTest, AbbreviatedBaudRates) {
  const std::pair<const char*, DWORD> cases[] = {{"11", 110},   {"15", 150},  {"30", 300},     {"60", 600},
                                                 {"12", 1200},  {"24", 2400}, {"48", 4800},    {"96", 9600},
                                                 {"19", 19200}, {"110", 110}, {"14400", 14400}};
  for (const auto& [text, baud] : cases) {
    DCB dcb = Dirty();
    ASSERT_TRUE(BuildCommDCBA((std::string(text) + ",n,8,1").c_str(), &dcb)) << text;
    EXPECT_EQ(dcb.BaudRate, baud) << text;
  }
}

TEST(BuildCommDcbTest, KeywordForm) {
  DCB dcb = Dirty();
  ASSERT_TRUE(BuildCommDCBA("baud=96 parity=E data=7 stop=1 dtr=off rts=hs xon=off octs=on to=off", &dcb));
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_EQ(dcb.fParity, 1u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_HANDSHAKE);
  EXPECT_EQ(dcb.fOutX + dcb.fInX, 0u);
  EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
  EXPECT_EQ(dcb.fOutxDsrFlow, 1u);  // not named: left as it was

  ASSERT_TRUE(BuildCommDCBA("BAUD=1200 PARITY=n DATA=8 STOP=2 RTS=tg DTR=hs", &dcb));
  EXPECT_EQ(dcb.BaudRate, 1200u);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.fParity, 0u);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_TOGGLE);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_HANDSHAKE);
}

TEST(BuildCommDcbTest, UnreadableDefinitionsFailAndLeaveTheDcbAlone) {
  const char* bad[] = {"",
                       "   ",
                       "junk",
                       "9600,N,9,1",
                       "9600,N,8,3",
                       "9600,X,8,1",
                       "0,N,8,1",
                       "9600;N;8;1",
                       "9600,N,8,1,q",
                       "9600,N,8,1,x,1",
                       "-9600,N,8,1",
                       "96OO,N,8,1",
                       "9600,NN,8,1",
                       "baud=9600 parity=Q",
                       "baud=9600 speed=fast",
                       "baud=",
                       "9600 N 8 1",
                       "9600,N,4,1"};
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
