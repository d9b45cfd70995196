// Multi-drop customer display. Two frame forms follow the address byte
// (mark parity): control bytes closed by the XOR of the address and those
// bytes; or header bytes, their XOR with the address, the text characters,
// an optional control trailer byte, and the XOR of the text and trailer.
#include <veravo/sim/devices/addressed_frames.h>
#include <veravo/sim/devices/checks.h>
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class DisplayDevice : public AddressedDevice {
 public:
  DisplayDevice() : AddressedDevice("display") {}

 protected:
  void HandleFrame(win::BYTE a, const std::vector<win::BYTE>& b, const SimSettings& s) override {
    std::vector<win::BYTE> all;
    all.reserve(b.size() + 1);
    all.push_back(a);
    all.insert(all.end(), b.begin(), b.end());
    std::size_t n = all.size();
    if (XorOf(all) != 0) {
      AddLog("refused", "bad check", b);
      return;
    }
    // The header check closes the shortest prefix whose XOR is zero; the text
    // part after it carries its own check.
    std::size_t k = 2;
    while (k < n && XorOf(all, 0, k) != 0) ++k;
    if (k >= n) {
      std::vector<win::BYTE> control(all.begin() + 1, all.end() - 1);
      AddLog("control", HexOf(control), control);
    } else {
      std::vector<win::BYTE> text(all.begin() + static_cast<std::ptrdiff_t>(k), all.end() - 1);
      if (!text.empty() && text.back() < 0x20) text.pop_back();  // the trailer byte
      AddLog("shown", TextOf(text), text);
    }
    if (s.ack) Reply({a, 0x06, static_cast<win::BYTE>(a ^ 0x06)});
  }
};

}  // namespace

std::unique_ptr<SimDevice> MakeDisplayDevice() { return std::make_unique<DisplayDevice>(); }

}  // namespace veravo::sim
