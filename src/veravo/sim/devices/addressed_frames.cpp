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

void AddressedDevice::OnBurst(const std::vector<RxRecord>& burst) {
  for (const AddressedFrame& f : frames_.Feed(burst)) {
    if (f.address < 0) {
      HandleUnaddressed(f.body);
      continue;
    }
    SimSettings s = settings();
    win::BYTE a = static_cast<win::BYTE>(f.address);
    if (s.address >= 0 && f.address != s.address) {
      AddLog("ignored", "address " + HexOf({a}), f.body);
      continue;
    }
    if (f.body.empty()) {
      AddLog("refused", "frame cut short", {a});
      continue;
    }
    HandleFrame(a, f.body, s);
  }
}

void AddressedDevice::HandleUnaddressed(const std::vector<win::BYTE>& body) {
  AddLog("refused", "no address byte", body);
}

}  // namespace veravo::sim
