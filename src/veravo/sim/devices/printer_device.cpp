// Multi-drop printer. An addressed frame is: address (mark parity), three
// header bytes B C D, the header check A^B^C, the data bytes, and the XOR of
// the data bytes. Bytes that come without an address byte are printed as
// they are (free text and control bytes).
#include <veravo/sim/devices/addressed_frames.h>
#include <veravo/sim/devices/checks.h>
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class PrinterDevice : public AddressedDevice {
 public:
  PrinterDevice() : AddressedDevice("printer") {}

 protected:
  void HandleUnaddressed(const std::vector<win::BYTE>& body) override {
    AddLog("printed", TextOf(body), body);
  }

  void HandleFrame(win::BYTE a, const std::vector<win::BYTE>& b, const SimSettings& s) override {
    if (b.size() < 5) {
      AddLog("refused", "frame cut short", b);
      return;
    }
    std::vector<win::BYTE> data(b.begin() + 4, b.end() - 1);
    if (b[3] != (a ^ b[0] ^ b[1]) || b.back() != XorOf(data)) {
      AddLog("refused", "bad check", b);
      return;
    }
    AddLog("printed", TextOf(data), data);
    if (s.ack) Reply({a, 0x06, static_cast<win::BYTE>(a ^ 0x06)});
  }
};

}  // namespace

std::unique_ptr<SimDevice> MakePrinterDevice() { return std::make_unique<PrinterDevice>(); }

}  // namespace veravo::sim
