// Door lock: the five bytes 01 53 57 05 0D open it. It does not answer.
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class DoorDevice : public SimDevice {
 public:
  DoorDevice() : SimDevice("door") {}

 protected:
  // Commands end with 0x0D; several may come in one burst.
  void OnBurst(const std::vector<RxRecord>& burst) override {
    static const std::vector<win::BYTE> kOpen{0x01, 0x53, 0x57, 0x05, 0x0D};
    std::vector<win::BYTE> command;
    for (const RxRecord& r : burst) {
      command.push_back(r.value);
      if (r.value == 0x0D) {
        Judge(command, kOpen);
        command.clear();
      }
    }
    if (!command.empty()) Judge(command, kOpen);
  }

 private:
  void Judge(const std::vector<win::BYTE>& command, const std::vector<win::BYTE>& open) {
    if (command == open) {
      AddLog("door", "opened", command);
    } else {
      AddLog("refused", "unknown command", command);
    }
  }
};

}  // namespace

std::unique_ptr<SimDevice> MakeDoorDevice() { return std::make_unique<DoorDevice>(); }

}  // namespace veravo::sim
