// Settings texts: the platform builder either rejects a text and leaves the
// DCB untouched, or fills it with values a port accepts; the port's parser
// agrees with the builder and never leaves a field half-set.
#include <veravo/platform/win/win.h>
#include <veravo/serial/_SerialPort.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"

namespace {

// A port that failed to open (no name): enough to reach the parser.
class ParserProbe : public veravo::SerialPort {
 public:
  ParserProbe() : SerialPort(nullptr, nullptr) {}
  using SerialPort::ParseSettingsText;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace win = veravo::win;
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));

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
