// XorByte, XorChar and GetCRC against their definitions: the XOR of the
// pairs taken from the start, the XOR of the covered characters and the
// trailer, and the CRC-16 of the decoded bytes written low byte first.
#include <veravo/edit/zpedit.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_check.h"

namespace {

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static veravo::TZPEdit edit(nullptr);
  std::string text(reinterpret_cast<const char*>(data), size);
  // The component's text operations see the text up to a zero character.
  std::string cut = text.substr(0, text.find('\0'));

  veravo::AnsiString x = edit.XorByte(cut);
  FUZZ_CHECK(x.Length() == 1);
  unsigned char expect = 0;
  for (std::size_t i = 0; i + 1 < cut.size(); i += 2) {
    expect ^= static_cast<unsigned char>(Digit(cut[i]) * 16 + Digit(cut[i + 1]));
  }
  FUZZ_CHECK(static_cast<unsigned char>(x[1]) == expect);

  veravo::AnsiString c = edit.XorChar(cut);
  FUZZ_CHECK(c.Length() == 1);
  std::size_t q = cut.find('\'');
  unsigned char cx = 0;
  if (q == std::string::npos) {
    // No quote: the first two characters read as hex.
    auto b = veravo::TZPEdit::HexTextToBytes(cut.substr(0, 2).c_str());
    cx = b.empty() ? 0 : b[0];
  } else {
    for (std::size_t i = 0; i < q; ++i) cx ^= static_cast<unsigned char>(cut[i]);
    if (q + 1 < cut.size()) {
      auto t = veravo::TZPEdit::HexTextToBytes(cut.substr(q + 1, 2).c_str());
      if (!t.empty()) cx ^= t[0];
    }
  }
  FUZZ_CHECK(static_cast<unsigned char>(c[1]) == cx);

  auto bytes = veravo::TZPEdit::HexTextToBytes(cut.c_str());
  unsigned crc = edit.GetCRC16(bytes.data(), static_cast<unsigned>(bytes.size()));
  FUZZ_CHECK(crc <= 0xFFFF);
  char expected[8];
  std::snprintf(expected, sizeof expected, "%02X%02X", crc & 0xFF, crc >> 8);
  FUZZ_CHECK(edit.GetCRC(cut) == expected);
  // Appending the CRC (low byte first) makes the CRC of the whole zero.
  if (!bytes.empty()) {
    bytes.push_back(static_cast<unsigned char>(crc & 0xFF));
    bytes.push_back(static_cast<unsigned char>(crc >> 8));
    FUZZ_CHECK(edit.GetCRC16(bytes.data(), static_cast<unsigned>(bytes.size())) == 0);
  }
  return 0;
}
