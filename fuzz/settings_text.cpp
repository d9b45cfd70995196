// Settings texts: the platform builder either rejects a text and leaves the
// DCB untouched, or fills it with values a port accepts; the port's parser
// agrees with the builder and never leaves a field half-set. The input, cut
// at line ends, is also a sequence of texts given to Reconfigure on a port
// over a pseudo-terminal: a text the builder accepts, and a rejected one
// (which re-writes the state last asked for), leave the port usable with the
// device holding the last accepted format as far as a pty keeps one.
#include <termios.h>
#include <veravo/platform/win/win.h>
#include <veravo/serial/_SerialPort.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "fuzz_check.h"
#include "support/pty.h"

namespace {

// A port that failed to open (no name): enough to reach the parser.
class ParserProbe : public veravo::SerialPort {
 public:
  ParserProbe() : SerialPort(nullptr, nullptr) {}
  using SerialPort::ParseSettingsText;
};

namespace win = veravo::win;

// What a pty keeps of the format: the speed, CSTOPB, PARODD and CMSPAR.
void CheckDeviceHolds(int master, const win::DCB& dcb) {
  termios tio{};
  FUZZ_CHECK(tcgetattr(master, &tio) == 0);
  static const std::map<win::DWORD, speed_t> kSpeeds = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                                        {9600, B9600},   {19200, B19200},  {38400, B38400},
                                                        {57600, B57600}, {115200, B115200}};
  auto speed = kSpeeds.find(dcb.BaudRate);
  if (speed != kSpeeds.end()) FUZZ_CHECK(cfgetospeed(&tio) == speed->second);
  FUZZ_CHECK(((tio.c_cflag & CSTOPB) != 0) == (dcb.StopBits != win::ONESTOPBIT));
  bool odd = dcb.Parity == win::ODDPARITY || dcb.Parity == win::MARKPARITY;
  bool stick = dcb.Parity == win::MARKPARITY || dcb.Parity == win::SPACEPARITY;
  FUZZ_CHECK(((tio.c_cflag & PARODD) != 0) == odd);
  FUZZ_CHECK(((tio.c_cflag & CMSPAR) != 0) == stick);
}

void CheckReconfigureSequence(const std::string& input) {
  static veravo::test::Pty pty;  // its termios calls act on the device side
  static veravo::SerialPort& port = *new veravo::SerialPort(pty.SlavePath().c_str(), "9600,N,8,1");
  port.Reconfigure("9600,N,8,1");
  FUZZ_CHECK(port.Status == 0);
  win::DCB last{};
  FUZZ_CHECK(win::BuildCommDCBA("9600,N,8,1", &last));
  std::size_t start = 0;
  for (int n = 0; n < 8 && start <= input.size(); ++n) {
    std::size_t end = input.find_first_of(std::string("\n\0", 2), start);
    if (end == std::string::npos) end = input.size();
    std::string text = input.substr(start, end - start);
    start = end + 1;
    win::DCB dcb = last;
    if (win::BuildCommDCBA(text.c_str(), &dcb)) last = dcb;
    port.Reconfigure(text.c_str());
    // Five data bits take one stop bit only; the port asks for two in place
    // of one and a half, so such a state is refused until the next text.
    if (last.ByteSize == 5 && last.StopBits != win::ONESTOPBIT) continue;
    FUZZ_CHECK(port.Status == 0);
    FUZZ_CHECK(port.DeviceState.BaudRate == last.BaudRate);
    FUZZ_CHECK(port.DeviceState.ByteSize == last.ByteSize);
    FUZZ_CHECK((port.DeviceState.StopBits == win::ONESTOPBIT) == (last.StopBits == win::ONESTOPBIT));
    CheckDeviceHolds(pty.Master(), port.DeviceState);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  CheckReconfigureSequence(input);
  std::string text = input.substr(0, input.find('\0'));

  // A valid state to start from: fields a text leaves out keep their values.
  win::DCB before{};
  before.DCBlength = sizeof before;
  before.BaudRate = 9600;
  before.ByteSize = 8;
  before.XonChar = 0x11;
  before.XoffChar = 0x13;
  win::DCB dcb = before;
  bool ok = win::BuildCommDCBA(text.c_str(), &dcb);
  if (!ok) {
    FUZZ_CHECK(std::memcmp(&dcb, &before, sizeof dcb) == 0);
  } else {
    FUZZ_CHECK(dcb.BaudRate > 0);
    FUZZ_CHECK(dcb.ByteSize >= 5 && dcb.ByteSize <= 8);
    FUZZ_CHECK(dcb.Parity <= win::SPACEPARITY);
    FUZZ_CHECK(dcb.StopBits <= win::TWOSTOPBITS);
  }

  static ParserProbe probe;
  veravo::PortSettings s;
  veravo::PortSettings untouched = s;
  probe.ParseSettingsText(s, text.c_str());
  if (!ok) {
    FUZZ_CHECK(std::memcmp(&s, &untouched, sizeof s) == 0);
  } else {
    FUZZ_CHECK(s.Baud == static_cast<std::int32_t>(dcb.BaudRate));
    FUZZ_CHECK(s.DataBits == dcb.ByteSize);
    FUZZ_CHECK(s.StopBits == (dcb.StopBits == win::ONESTOPBIT ? 1 : 2));
    FUZZ_CHECK(s.Parity == 'N' || s.Parity == 'E' || s.Parity == 'O' || s.Parity == 'M' || s.Parity == 'S');
  }
  return 0;
}
