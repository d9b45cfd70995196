// The format of a character on the line (baud rate, data bits, parity, stop
// bits) and the time one character takes on the wire.
#pragma once

#include <veravo/platform/win/win_types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace veravo::sim {

struct LineFormat {
  win::DWORD baud = 9600;
  win::BYTE dataBits = 8;
  char parity = 'N';                     // N, O, E, M or S
  win::BYTE stopBits = win::ONESTOPBIT;  // DCB coding: ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS

  // Start bit + data bits + parity bit (if any) + stop bits.
  double FrameBits() const;
  std::chrono::nanoseconds ByteTime() const;
  bool HasParity() const { return parity != 'N'; }
  // The settings text of this format, e.g. "9600,M,8,1" or "1200,N,5,1.5".
  std::string Text() const;

  // Reads "baud,parity,data,stop" (parity letter in either case). Empty on
  // anything it cannot read.
  static std::optional<LineFormat> Parse(std::string_view text);
  static LineFormat FromDcb(const win::DCB& dcb);

  bool operator==(const LineFormat&) const = default;
};

// The parity bit that `format` sends with `value` (its data bits only), or -1
// when the format has no parity bit.
int ParityBitFor(win::BYTE value, const LineFormat& format);

}  // namespace veravo::sim
