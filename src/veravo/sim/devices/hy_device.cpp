// HY unit: takes commands at no parity, 8 data bits; answers with raw bytes:
// the command and a status byte 00 (or the configured reply). A command sent
// with another format is refused.
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class HyDevice : public SimDevice {
 public:
  HyDevice() : SimDevice("hy") {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    std::vector<win::BYTE> bytes = ValuesOf(burst);
    for (const RxRecord& r : burst) {
      if (r.format.parity != 'N' || r.format.dataBits != 8) {
        AddLog("refused", "format " + r.format.Text(), bytes);
        return;
      }
    }
    AddLog("command", HexOf(bytes), bytes);
    std::vector<win::BYTE> reply = settings().reply;
    if (reply.empty()) {
      reply = bytes;
      reply.push_back(0x00);
    }
    Reply(reply);
  }
};

}  // namespace

std::unique_ptr<SimDevice> MakeHyDevice() { return std::make_unique<HyDevice>(); }

}  // namespace veravo::sim
