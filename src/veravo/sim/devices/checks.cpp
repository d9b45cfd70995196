#include <veravo/sim/devices/checks.h>

#include <algorithm>

namespace veravo::sim {

win::BYTE XorOf(const std::vector<win::BYTE>& bytes, std::size_t first, std::size_t last) {
  last = std::min(last, bytes.size());
  win::BYTE x = 0;
  for (std::size_t i = first; i < last; ++i) x ^= bytes[i];
  return x;
}

std::uint16_t Crc16Kermit(const std::vector<win::BYTE>& bytes, std::size_t first, std::size_t last) {
  last = std::min(last, bytes.size());
  std::uint16_t crc = 0;
  for (std::size_t i = first; i < last; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
  }
  return crc;
}

void AppendCrc(std::vector<win::BYTE>* bytes) {
  std::uint16_t crc = Crc16Kermit(*bytes, 0, bytes->size());
  bytes->push_back(static_cast<win::BYTE>(crc & 0xFF));
  bytes->push_back(static_cast<win::BYTE>(crc >> 8));
}

}  // namespace veravo::sim
