// HDG unit on a multi-drop line: an address byte under mark parity, then the
// command bytes under space parity; answered with raw bytes: the address,
// the command and a status byte 00 (or the configured reply). No check.
#include <veravo/sim/devices/addressed_frames.h>
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class HdgDevice : public SimDevice {
 public:
  HdgDevice() : SimDevice("hdg") {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    for (const AddressedFrame& f : frames_.Feed(burst)) Handle(f);
  }

 private:
  void Handle(const AddressedFrame& f) {
    if (f.address < 0) {
      AddLog("refused", "no address byte", f.body);
      return;
    }
    SimSettings s = settings();
    win::BYTE a = static_cast<win::BYTE>(f.address);
    if (s.address >= 0 && f.address != s.address) {
      AddLog("ignored", "address " + HexOf({a}), f.body);
      return;
    }
    AddLog("command", HexOf({a}) + "," + HexOf(f.body), f.body);
    std::vector<win::BYTE> reply = s.reply;
    if (reply.empty()) {
      reply.push_back(a);
      reply.insert(reply.end(), f.body.begin(), f.body.end());
      reply.push_back(0x00);
    }
    Reply(reply);
  }

  AddressedFrames frames_;
};

}  // namespace

std::unique_ptr<SimDevice> MakeHdgDevice() { return std::make_unique<HdgDevice>(); }

}  // namespace veravo::sim
