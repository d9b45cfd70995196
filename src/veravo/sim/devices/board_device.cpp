// Display board: text and control bytes, each block closed by 0x0E, which
// shows the block's text (without control bytes and ESC sequences). A burst that ends without 0x0E is logged
// as a raw data block. It does not answer.
#include <veravo/sim/devices/families.h>

namespace veravo::sim {

namespace {

class BoardDevice : public SimDevice {
 public:
  BoardDevice() : SimDevice("board") {}

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override {
    std::vector<win::BYTE> block;
    for (const RxRecord& r : burst) {
      if (r.value == 0x0E) {
        // The shown text leaves out control bytes and ESC sequences (ESC and the byte after it).
        std::string text;
        for (std::size_t i = 0; i < block.size(); ++i) {
          if (block[i] == 0x1B) {
            ++i;
          } else if (block[i] >= 0x20) {
            text += static_cast<char>(block[i]);
          }
        }
        AddLog("shown", text, block);
        block.clear();
      } else {
        block.push_back(r.value);
      }
    }
    if (!block.empty()) AddLog("data", HexOf(block), block);
  }
};

}  // namespace

std::unique_ptr<SimDevice> MakeBoardDevice() { return std::make_unique<BoardDevice>(); }

}  // namespace veravo::sim
