// What a receiver makes of one character frame on the wire. The sender's
// frame is laid out bit by bit (start bit 0, data bits LSB first, parity bit,
// stop bits 1) and sampled in the middle of each of the receiver's bit times,
// so a receiver with another format sees what a real UART would see.
#pragma once

#include <veravo/platform/win/win_types.h>
#include <veravo/sim/line_format.h>

#include <optional>

namespace veravo::sim {

struct SampledByte {
  win::BYTE value = 0;
  int parityBit = -1;     // the bit sampled in the parity position, -1 when the receiver has none
  win::DWORD errors = 0;  // CE_RXPARITY, CE_FRAME
};

// A character that starts on the wire right where the sampled one ends, so
// that its start bit follows the stop bit with no idle time between them.
struct FollowingByte {
  win::BYTE value;
  LineFormat format;
};

// Samples `value`, sent with `sent`, with the receiver format `receiver`.
// Rates more than 3 % apart always give CE_FRAME (the receiver loses the
// frame) and whatever value the mid-bit samples produce.
SampledByte SampleFrame(win::BYTE value, const LineFormat& sent, const LineFormat& receiver,
                        const std::optional<FollowingByte>& following = std::nullopt);

// A receiver that records every character as it was sent: its data bits and
// its parity bit whatever the parity, with no parity check. Only a different
// baud rate spoils it (then it samples as SampleFrame with 8 data bits).
SampledByte RecordAsSent(win::BYTE value, const LineFormat& sent, win::DWORD receiverBaud);

}  // namespace veravo::sim
