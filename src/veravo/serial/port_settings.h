// The line settings a port is asked to use: line format, control lines and
// handshakes. Every field has a "leave as is" value that keeps what the
// device already has.
#pragma once

#include <cstdint>

namespace veravo {

struct PortSettings {
  // Leave-as-is values.
  static constexpr std::int32_t Keep = -1;
  static constexpr char KeepParity = static_cast<char>(0xFF);

  std::int32_t Baud = Keep;      // bits per second; not validated
  char Parity = KeepParity;      // 'N', 'O', 'E', 'M', 'S' (lower case accepted when applied)
  std::int32_t DataBits = Keep;  // 5..8
  std::int32_t StopBits = Keep;  // 1 or 2
  std::int32_t Dtr = 1;          // non-zero: DTR on
  std::int32_t Rts = 1;          // non-zero: RTS on
  std::int32_t XonXoff = 0;      // non-zero: XON/XOFF both ways
  std::int32_t RtsCts = 0;       // non-zero: RTS/CTS handshake
  std::int32_t DtrDsr = 0;       // non-zero: DTR/DSR handshake
};

}  // namespace veravo
