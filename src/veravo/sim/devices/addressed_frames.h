// Gathers the frames of a multi-drop line: a character received with its
// parity bit set (mark) is an address byte and starts a frame; the
// characters after it (space) are the frame's body. A frame is complete at
// the end of a burst that brought body bytes, since the host pauses between
// the address byte and the body.
#pragma once

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

}  // namespace veravo::sim
