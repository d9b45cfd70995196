// Result-code texts, status lines and character texts.
#include <gtest/gtest.h>
#include <veravo/platform/vcl/codepage.h>
#include <veravo/platform/win/win.h>

#include <cstring>
#include <string>

#include "support/hook_port.h"
#include "support/wait.h"

namespace veravo {
namespace {

const std::string kStop = "\xA1\xA3";

std::string Text(SerialPort& port, int code) {
  char out[SerialPortBase::ErrorTextSize];
  port.ErrorText(code, out);
  return out;
}

// Texts of a port that did not open (and whose threads are never started:
// HookPort asks for them after the open).
TEST(Texts, ErrorTextsStatusLinesAndCharTexts) {
  test::HookPort port("no-such-port", "19200,E,7,2");
  ASSERT_EQ(port.Status, result::PortNotFound);
  EXPECT_EQ(Text(port, 0), "Success");
  EXPECT_EQ(Text(port, -98), "Warning Errors: Timeout" + kStop);
  EXPECT_EQ(Text(port, -498), "Fatal Errors: Port<no-such-port> not found" + kStop);
  EXPECT_EQ(Text(port, -497), "Fatal Errors: Port<no-such-port> in use" + kStop);
  EXPECT_EQ(Cp936ToUtf8(Text(port, -496)), "由于线程退出或应用程序请求,已放弃I/O操作。");
  EXPECT_EQ(Text(port, -491), "Warning Errors: Handshake line is already in use" + kStop);
  for (int code : {-150, -1, -101, -85, -490, -501, 5})
    EXPECT_EQ(Text(port, code), "Undefined error" + kStop);
  char out[SerialPortBase::ErrorTextSize];
  port.SerialPortBase::ErrorText(-492, out);  // the base table lacks the port's own codes
  EXPECT_EQ(std::string(out), "Undefined error" + kStop);

  // Long port names are cut to the buffer.
  SerialPort longName(std::string(400, 'Q').c_str(), nullptr);
  char cut[SerialPortBase::ErrorTextSize];
  longName.ErrorText(-498, cut, 20);
  EXPECT_EQ(std::strlen(cut), 19u);
  longName.StatusLine(cut, 0);
  EXPECT_EQ(std::strlen(cut), SerialPortBase::ErrorTextSize - 1);
  longName.ErrorText(-498, nullptr);

  char line[SerialPortBase::StatusLineSize];
  EXPECT_EQ(port.StatusLine(nullptr, 0), 11);
  EXPECT_EQ(port.StatusLine(line, 11), result::IllegalLineNumber);
  EXPECT_EQ(port.StatusLine(line, -1), result::IllegalLineNumber);
  EXPECT_EQ(port.SerialPortBase::StatusLine(line, -1), result::IllegalLineNumber);  // the base has 2
  // The open puts the mode-string builder's result into the state as it is;
  // whether the builder sets fParity for a parity letter is the system's.
  win::DCB built{};
  win::BuildCommDCBA("19200,E,7,2", &built);
  const std::string parityLine = "DCB-> Baud:  19200  fBinary: 1  fParity: " + std::to_string(built.fParity) +
                                 "  fOutxCtsFlow: 0  fOutxDsrFlow: 0";
  const char* expected[] = {
      "Base class: Port  no-such-port  Status: Fatal Errors: Port<no-such-port> no",
      "Byte count:     0  Elapsed time:         0  TX Free:   512  RX Used:     0",
      parityLine.c_str(),
      "DCB-> fDtrControl:    ENABLE  fDsrSensitivity: 0  fTXContinueOnXoff: 0  ",
      "DCB-> fOutX: 0  fInX: 0  fErrorChar: 0  fNull: 0  fRtsControl:    ENABLE",
      "DCB-> fAbortOnError: 1  XonLim:  128  XoffLim:  128  ByteSize: 7  Parity: E ",
      "DCB-> StopBits:   2  XonChar: 0x11  XoffChar: 0x13  ErrorChar: 0x00  ",
      "DCB-> EofChar: 0x00  EvtChar: 0x00  ",
  };
  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(port.StatusLine(line, i), 0);
    EXPECT_EQ(std::string(line), expected[i]);
  }
  // Printable up to 's' only; the rest as sign-extended hex.
  for (const auto& [c, text] :
       {std::pair{' ', " "}, {'s', "s"}, {'t', "0x74"}, {'\x1f', "0x1f"}, {'\x80', "0xffffff80"}})
    EXPECT_EQ(SerialPort::CharText(c), text);
}

}  // namespace
}  // namespace veravo
