// What a frame or check should hold, worked out from the text the way the
// component's rules describe it, for the targets to compare against.
#pragma once

#include <veravo/edit/zpedit.h>

#include <string>
#include <vector>

// The part of `s` from `from` on, empty when `s` is shorter.
inline std::string Sub(const std::string& s, std::size_t from, std::size_t count = std::string::npos) {
  return from >= s.size() ? std::string() : s.substr(from, count);
}

inline std::vector<unsigned char> Hex(const std::string& s) {
  return veravo::TZPEdit::HexTextToBytes(s.c_str());
}

// The XOR of the bytes the pairs of hex digits from the start stand for (an
// odd last character is left out).
inline unsigned char XorPairs(const std::string& s) {
  unsigned char x = 0;
  for (unsigned char b : Hex(s.substr(0, s.size() / 2 * 2))) x ^= b;
  return x;
}

// The XOR of the characters before the first quote and of the trailer byte
// that the two characters after the quote stand for.
inline unsigned char XorQuoted(const std::string& s) {
  std::size_t q = s.find('\'');
  unsigned char x = 0;
  for (std::size_t i = 0; i < q && i < s.size(); ++i) x ^= static_cast<unsigned char>(s[i]);
  std::vector<unsigned char> trailer =
      q + 1 < s.size() ? Hex(s.substr(q + 1, 2)) : std::vector<unsigned char>{};
  return trailer.empty() ? x : x ^ trailer[0];
}
