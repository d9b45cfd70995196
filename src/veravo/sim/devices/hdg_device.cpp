// HDG unit on a multi-drop line: an address byte under mark parity, then the
// command bytes under space parity; answered with raw bytes: the address,
// the command and a status byte 00 (or the configured reply). No check.
#include <veravo/sim/devices/addressed_frames.h>
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class HdgDevice : public AddressedDevice {
 public:
  HdgDevice() : AddressedDevice("hdg") {}

 protected:
  void HandleFrame(win::BYTE a, const std::vector<win::BYTE>& b, const SimSettings& s) override {
    AddLog("command", HexOf({a}) + "," + HexOf(b), b);
    std::vector<win::BYTE> reply = s.reply;
    if (reply.empty()) {
      reply.push_back(a);
      reply.insert(reply.end(), b.begin(), b.end());
      reply.push_back(0x00);
    }
    Reply(reply);
  }
};

}  // namespace

std::unique_ptr<SimDevice> MakeHdgDevice() { return std::make_unique<HdgDevice>(); }

}  // namespace veravo::sim
