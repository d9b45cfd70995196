// Hex text to bytes and back, then GetCRC against its definition: the CRC-16
// of the decoded bytes written low byte first. (XorByte and XorChar, small
// loops, are checked by the hex codec cases and inside the frame targets.)
#include <veravo/edit/zpedit.h>

#include <algorithm>
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
  const std::string cut(reinterpret_cast<const char*>(data), std::find(data, data + size, 0) - data);

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
