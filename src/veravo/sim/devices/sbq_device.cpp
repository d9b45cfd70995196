// SBQ unit, two framings told apart by the line format of the command:
// - at 7 data bits (7E1): leading byte, five body bytes, trailing byte, XOR of
//   the body; answered 02, the body, 03, XOR of the body;
// - otherwise: command bytes closed by their CRC-16/KERMIT, low byte first;
//   answered with the command bytes and a status byte 00 (or the configured
//   reply), closed by their CRC.
#include <veravo/sim/devices/checks.h>
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class SbqDevice : public SimDevice {
 public:
  SbqDevice() : SimDevice("sbq") {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    bool sevenBit = true;
    for (const RxRecord& r : burst) sevenBit = sevenBit && r.format.dataBits == 7;
    std::vector<win::BYTE> bytes = ValuesOf(burst);
    if (sevenBit) {
      HandleXorFrame(bytes);
    } else {
      HandleCrcFrame(bytes);
    }
  }

 private:
  void HandleXorFrame(const std::vector<win::BYTE>& b) {
    if (b.size() != 8) {
      AddLog("refused", "length", b);
      return;
    }
    if (b[7] != XorOf(b, 1, 6)) {
      AddLog("refused", "xor check", b);
      return;
    }
    AddLog("command", HexOf(b), b);
    std::vector<win::BYTE> reply{0x02};
    reply.insert(reply.end(), b.begin() + 1, b.begin() + 6);
    reply.push_back(0x03);
    reply.push_back(XorOf(b, 1, 6));
    Reply(reply);
  }

  void HandleCrcFrame(const std::vector<win::BYTE>& b) {
    std::size_t n = b.size();
    if (n < 3) {
      AddLog("refused", "short frame", b);
      return;
    }
    std::uint16_t crc = Crc16Kermit(b, 0, n - 2);
    if (b[n - 2] != (crc & 0xFF) || b[n - 1] != (crc >> 8)) {
      AddLog("refused", "crc check", b);
      return;
    }
    std::vector<win::BYTE> command(b.begin(), b.end() - 2);
    AddLog("command", HexOf(command), command);
    std::vector<win::BYTE> reply = settings().reply;
    if (reply.empty()) {
      reply = command;
      reply.push_back(0x00);
    }
    AppendCrc(&reply);
    Reply(reply, {reply.size() - 2, 3});  // a first piece of 3 bytes: shorter than 5
  }
};

}  // namespace

std::unique_ptr<SimDevice> MakeSbqDevice() { return std::make_unique<SbqDevice>(); }

}  // namespace veravo::sim
