// Settings texts, the input cut at line ends, given to the platform builder
// and to Reconfigure on a port over a pseudo-terminal, whose own parser reads
// them: the builder either rejects a text and leaves the DCB untouched, or
// fills it with values a port takes; an accepted text, and a rejected one
// (which re-writes the state last asked for), leave the port usable with the
// format the builder gave, and the device holding it as far as a pty keeps one.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  static veravo::test::Pty pty;  // its termios calls act on the device side
  static veravo::SerialPort& port = *new veravo::SerialPort(pty.SlavePath().c_str(), "9600,N,8,1");
  port.Reconfigure("9600,N,8,1");
  win::DCB last{};
  FUZZ_CHECK(win::BuildCommDCBA("9600,N,8,1", &last));
  std::size_t start = 0;
  for (int n = 0; n < 8 && start <= input.size(); ++n) {
    std::size_t end = input.find_first_of(std::string("\n\0", 2), start);
    if (end == std::string::npos) end = input.size();
    std::string text = input.substr(start, end - start);
    start = end + 1;
    // A rejected text leaves the DCB untouched; an accepted one fills it
    // with values a port takes.
    win::DCB dcb = last;
    if (!win::BuildCommDCBA(text.c_str(), &dcb)) {
      FUZZ_CHECK(std::memcmp(&dcb, &last, sizeof dcb) == 0);
    } else {
      FUZZ_CHECK(dcb.BaudRate > 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8);
      FUZZ_CHECK(dcb.Parity <= win::SPACEPARITY && dcb.StopBits <= win::TWOSTOPBITS);
      last = dcb;
    }
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
  return 0;
}
