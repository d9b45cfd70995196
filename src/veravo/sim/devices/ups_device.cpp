// UPS: answers any query with its reading, "230V" and a carriage return
// (or the configured text).
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class UpsDevice : public SimDevice {
 public:
  UpsDevice() : SimDevice("ups") {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    std::vector<win::BYTE> query = ValuesOf(burst);
    AddLog("command", TextOf(query), query);
    std::string text = settings().text;
    if (text.empty()) text = "230V\r";
    Reply(std::vector<win::BYTE>(text.begin(), text.end()));
  }
};

}  // namespace

std::unique_ptr<SimDevice> MakeUpsDevice() { return std::make_unique<UpsDevice>(); }

}  // namespace veravo::sim
