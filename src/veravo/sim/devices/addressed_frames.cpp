#include <veravo/sim/devices/addressed_frames.h>

namespace veravo::sim {

std::vector<AddressedFrame> AddressedFrames::Feed(const std::vector<RxRecord>& burst) {
  std::vector<AddressedFrame> done;
  for (const RxRecord& r : burst) {
    if (r.parityBit == 1) {
      if (open_) done.push_back(std::move(*open_));
      open_ = AddressedFrame{r.value, {}};
    } else {
      if (!open_) open_ = AddressedFrame{};
      open_->body.push_back(r.value);
    }
  }
  if (open_ && !open_->body.empty()) {
    done.push_back(std::move(*open_));
    open_.reset();
  }
  return done;
}

}  // namespace veravo::sim
