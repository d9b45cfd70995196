// The check values the device families put into their frames.
#pragma once

#include <veravo/platform/win/win_types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veravo::sim {

// XOR of bytes[first, last) (clamped to the vector); 0 for an empty range.
win::BYTE XorOf(const std::vector<win::BYTE>& bytes, std::size_t first, std::size_t last);
inline win::BYTE XorOf(const std::vector<win::BYTE>& bytes) { return XorOf(bytes, 0, bytes.size()); }

// CRC-16/KERMIT (polynomial 0x1021 reflected, initial value 0, no final XOR)
// of bytes[first, last); sent low byte first.
std::uint16_t Crc16Kermit(const std::vector<win::BYTE>& bytes, std::size_t first, std::size_t last);
// Appends the CRC of the whole vector, low byte first.
void AppendCrc(std::vector<win::BYTE>* bytes);

}  // namespace veravo::sim
