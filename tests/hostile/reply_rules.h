// Byte and hex helpers of the hostile tests and the reply checks of the
// device families, written out from the frame layouts so that the tests can
// build valid (and deliberately invalid) replies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veravo::hostile {

inline std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// Upper-case digit pairs only, as the readers produce them.
inline bool IsHexText(std::string_view text) {
  if (text.size() % 2 != 0) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

// The bytes of well-formed hex text (see IsHexText).
inline std::string Unhex(std::string_view hex) {
  auto value = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1]));
  return out;
}

inline unsigned char XorOf(std::string_view bytes, std::size_t from, std::size_t to) {
  unsigned char x = 0;
  for (std::size_t i = from; i < to && i < bytes.size(); ++i) x ^= static_cast<unsigned char>(bytes[i]);
  return x;
}

// CRC-16/KERMIT: reflected polynomial 0x1021, initial value 0.
inline std::uint16_t Crc16(std::string_view bytes) {
  std::uint16_t crc = 0;
  for (char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
  }
  return crc;
}

inline std::string WithCrc(std::string body) {
  const std::uint16_t crc = Crc16(body);
  body += static_cast<char>(crc & 0xFF);
  body += static_cast<char>(crc >> 8);
  return body;
}

// A reply the generic reader accepts: its last byte is the XOR of all
// before it.
inline bool XorOfAllPasses(std::string_view r) { return !r.empty() && XorOf(r, 0, r.size()) == 0; }
// Three header bytes, a body, and the XOR of the body.
inline bool HeaderBodyXorPasses(std::string_view r) {
  return !r.empty() && XorOf(r, 3, r.size() - 1) == static_cast<unsigned char>(r.back());
}
// A leading byte, a body, a trailing byte, and the XOR of the body.
inline bool LeadBodyTrailXorPasses(std::string_view r) {
  return !r.empty() && XorOf(r, 1, r.size() < 2 ? 0 : r.size() - 2) == static_cast<unsigned char>(r.back());
}
// The last two bytes are the CRC of the bytes before them, low byte first.
inline bool CrcPasses(std::string_view r) {
  return r.size() >= 2 && WithCrc(std::string(r.substr(0, r.size() - 2))) == r;
}

// A pseudo-random byte sequence, the same for the same seed; zero bytes
// included.
inline unsigned char NoiseByte(std::size_t i, std::uint32_t seed) {
  std::uint64_t z = (static_cast<std::uint64_t>(seed) << 32) + i + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<unsigned char>(z ^ (z >> 31));
}

inline std::string Noise(std::size_t n, std::uint32_t seed) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += static_cast<char>(NoiseByte(i, seed));
  return out;
}

}  // namespace veravo::hostile
