// CRT unit: a command closed by the XOR of its bytes; answered with the
// header 10 20 30, a body (the command, or the configured reply) and the
// XOR of the body.
#include <veravo/sim/devices/checks.h>
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class CrtDevice : public SimDevice {
 public:
  CrtDevice() : SimDevice("crt") {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    std::vector<win::BYTE> b = ValuesOf(burst);
    if (b.size() < 2 || b.back() != XorOf(b, 0, b.size() - 1)) {
      AddLog("refused", "xor check", b);
      return;
    }
    std::vector<win::BYTE> command(b.begin(), b.end() - 1);
    AddLog("command", HexOf(command), command);
    std::vector<win::BYTE> body = settings().reply;
    if (body.empty()) body = command;
    std::vector<win::BYTE> reply{0x10, 0x20, 0x30};
    reply.insert(reply.end(), body.begin(), body.end());
    reply.push_back(XorOf(body));
    Reply(reply);
  }
};

}  // namespace

std::unique_ptr<SimDevice> MakeCrtDevice() { return std::make_unique<CrtDevice>(); }

}  // namespace veravo::sim
