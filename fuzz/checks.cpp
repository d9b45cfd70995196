// Hex text to bytes and back, then XorByte, XorChar and GetCRC against their
// definitions: the XOR of the pairs taken from the start, the XOR of the
// covered characters and the trailer, and the CRC-16 of the decoded bytes
// written low byte first.
#include <veravo/edit/zpedit.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_check.h"
#include "hex_expect.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static veravo::TZPEdit edit(nullptr);
  // Bytes -> hex -> bytes is the identity (count given, so zero bytes count;
  // a count of 0 stands for "up to a zero byte").
  if (size > 0) {
    const std::string hex = veravo::TZPEdit::BytesToHexText(data, size);
    FUZZ_CHECK(hex.size() == 2 * size && hex.find_first_not_of("0123456789ABCDEF") == std::string::npos);
    FUZZ_CHECK(Hex(hex) == std::vector<unsigned char>(data, data + size));
  }
  // The component's text operations see the text up to a zero character.
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string cut = text.substr(0, text.find('\0'));

  veravo::AnsiString x = edit.XorByte(cut);
  FUZZ_CHECK(x.Length() == 1);
  FUZZ_CHECK(static_cast<unsigned char>(x[1]) == XorPairs(cut));

  veravo::AnsiString c = edit.XorChar(cut);
  FUZZ_CHECK(c.Length() == 1);
  // Without a quote the first two characters read as hex.
  std::vector<unsigned char> first = Hex(cut.substr(0, 2));
  unsigned char cx = cut.find('\'') != std::string::npos ? XorQuoted(cut) : first.empty() ? 0 : first[0];
  FUZZ_CHECK(static_cast<unsigned char>(c[1]) == cx);

  // Any text decodes to (n + 1) / 2 bytes, without reading past its end.
  auto bytes = Hex(cut);
  FUZZ_CHECK(bytes.size() == (cut.size() + 1) / 2);
  unsigned crc = edit.GetCRC16(bytes.data(), static_cast<unsigned>(bytes.size()));
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
