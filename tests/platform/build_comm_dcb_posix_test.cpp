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

// Each definition starts from Dirty(): the comma form sets the whole line
// format and plain control lines; the keyword form sets only what it names.
TEST(BuildCommDcbTest, CommaAndKeywordForms) {
  struct Case {
    const char* text;
    DWORD baud;
    BYTE parity, byteSize, stopBits;
    DWORD dtr, rts;
    int ctsFlow, dsrFlow, outX, inX;
  };
  const Case cases[] = {
      {"9600,N,8,1", 9600, NOPARITY, 8, ONESTOPBIT, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0, 0, 0, 0},
      {" 19200 , e , 7 , 2 ", 19200, EVENPARITY, 7, TWOSTOPBITS, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0, 0,
       0, 0},
      {"115200,s,5,1.5", 115200, SPACEPARITY, 5, ONE5STOPBITS, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0, 0,
       0, 0},
      {"COM3:4800,M,8,1", 4800, MARKPARITY, 8, ONESTOPBIT, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0, 0, 0,
       0},
      {"9600,o,8,1,x", 9600, ODDPARITY, 8, ONESTOPBIT, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0, 0, 1, 1},
      {"baud=96 parity=E data=7 stop=1 dtr=off rts=hs xon=off octs=on to=off", 9600, EVENPARITY, 7,
       ONESTOPBIT, DTR_CONTROL_DISABLE, RTS_CONTROL_HANDSHAKE, 1, 1, 0, 0},
      {"BAUD=1200 PARITY=n DATA=8 STOP=2 RTS=tg DTR=hs", 1200, NOPARITY, 8, TWOSTOPBITS,
       DTR_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE, 1, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DCB dcb = Dirty();
    ASSERT_TRUE(BuildCommDCBA(c.text, &dcb));
    EXPECT_EQ(dcb.BaudRate, c.baud);
    EXPECT_EQ(dcb.Parity, c.parity);
    EXPECT_EQ(dcb.fParity, c.parity == NOPARITY ? 0u : 1u);
    EXPECT_EQ(dcb.ByteSize, c.byteSize);
    EXPECT_EQ(dcb.StopBits, c.stopBits);
    EXPECT_EQ(dcb.fDtrControl, c.dtr);
    EXPECT_EQ(dcb.fRtsControl, c.rts);
    EXPECT_EQ(dcb.fOutxCtsFlow, static_cast<DWORD>(c.ctsFlow));
    EXPECT_EQ(dcb.fOutxDsrFlow, static_cast<DWORD>(c.dsrFlow));
    EXPECT_EQ(dcb.fOutX, static_cast<DWORD>(c.outX));
    EXPECT_EQ(dcb.fInX, static_cast<DWORD>(c.inX));
    EXPECT_EQ(dcb.fAbortOnError, 1u);  // never the builder's business
    EXPECT_EQ(dcb.XonChar, 0x11);
  }
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

TEST(BuildCommDcbTest, UnreadableDefinitionsFailAndLeaveTheDcbAlone) {
  // clang-format off
  const char* bad[] = {"", "   ", "junk", "9600,N,9,1", "9600,N,8,3", "9600,X,8,1", "0,N,8,1", "9600;N;8;1",
                       "9600,N,8,1,q", "9600,N,8,1,x,1", "-9600,N,8,1", "96OO,N,8,1", "9600,NN,8,1",
                       "baud=9600 parity=Q", "baud=9600 speed=fast", "baud=9600 parity", "baud=", "9600 N 8 1",
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
