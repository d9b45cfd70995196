// Gathers the frames of a multi-drop line: a character received with its
// parity bit set (mark) is an address byte and starts a frame; the
// characters after it (space) are the frame's body. A frame is complete at
// the end of a burst that brought body bytes, since the host pauses between
// the address byte and the body. A mark byte always starts a new frame, also
// in the middle of a body: a frame cut short that way is never taken as good.
#pragma once

#include <veravo/sim/devices/sim_device.h>
#include <veravo/sim/line_core.h>

#include <optional>
#include <vector>

namespace veravo::sim {

struct AddressedFrame {
  int address = -1;  // -1: body bytes that came without an address byte
  std::vector<win::BYTE> body;
};

class AddressedFrames {
 public:
  // Feeds one burst; returns the frames it completed.
  std::vector<AddressedFrame> Feed(const std::vector<RxRecord>& burst);

 private:
  std::optional<AddressedFrame> open_;
};

// A device on a multi-drop line: gathers the frames, refuses body bytes that
// came without an address byte (unless the device takes them), ignores
// frames for other addresses, logs an address byte followed at once by
// another as "frame cut short", and hands the rest to HandleFrame (which
// logs "frame cut short" or "bad check" for frames its checks refuse).
class AddressedDevice : public SimDevice {
 public:
  using SimDevice::SimDevice;

 protected:
  void OnBurst(const std::vector<RxRecord>& burst) override;
  // A frame for this device's address (or any address when none is set).
  virtual void HandleFrame(win::BYTE address, const std::vector<win::BYTE>& body,
                           const SimSettings& settings) = 0;
  // Body bytes without an address byte; refused unless a device overrides.
  virtual void HandleUnaddressed(const std::vector<win::BYTE>& body);

 private:
  AddressedFrames frames_;
};

}  // namespace veravo::sim
