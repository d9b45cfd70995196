// The plain test devices: echo (answers every burst with itself), silent
// (never answers) and reply (answers every burst with fixed bytes).
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class EchoDevice : public SimDevice {
 public:
  EchoDevice() : SimDevice("echo") {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    std::vector<win::BYTE> bytes = ValuesOf(burst);
    AddLog("received", HexOf(bytes), bytes);
    Reply(bytes);
  }
};

class SilentDevice : public SimDevice {
 public:
  SilentDevice() : SimDevice("silent") {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    std::vector<win::BYTE> bytes = ValuesOf(burst);
    AddLog("received", HexOf(bytes), bytes);
  }
};

class ReplyDevice : public SimDevice {
 public:
  explicit ReplyDevice(std::vector<win::BYTE> reply) : SimDevice("reply"), reply_(std::move(reply)) {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    std::vector<win::BYTE> bytes = ValuesOf(burst);
    AddLog("received", HexOf(bytes), bytes);
    Reply(reply_);
  }

 private:
  std::vector<win::BYTE> reply_;
};

}  // namespace

std::unique_ptr<SimDevice> MakeEchoDevice() { return std::make_unique<EchoDevice>(); }
std::unique_ptr<SimDevice> MakeSilentDevice() { return std::make_unique<SilentDevice>(); }

std::unique_ptr<SimDevice> MakeReplyDevice(std::vector<win::BYTE> reply, int delayMs) {
  auto device = std::make_unique<ReplyDevice>(std::move(reply));
  SimSettings s = device->settings();
  s.responseMs = delayMs;
  device->SetSettings(s);
  return device;
}

}  // namespace veravo::sim
