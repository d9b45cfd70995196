// Hex text to bytes and back: decoding an encoding gives the bytes again;
// any text decodes to (length + 1) / 2 bytes without reading past its end.
#include <veravo/edit/zpedit.h>

#include <cstdint>
#include <string>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using veravo::TZPEdit;
  // Bytes -> hex -> bytes is the identity (count given, so zero bytes count).
  if (size > 0) {
    std::string hex = TZPEdit::BytesToHexText(data, size);
    FUZZ_CHECK(hex.size() == 2 * size);
    for (char c : hex) FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    auto back = TZPEdit::HexTextToBytes(hex.c_str());
    FUZZ_CHECK(back.size() == size && std::equal(back.begin(), back.end(), data));
  }
  // Any text: (n + 1) / 2 bytes, n counted up to the first zero character.
  std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t n = text.find('\0');
  if (n == std::string::npos) n = text.size();
  auto bytes = TZPEdit::HexTextToBytes(text.c_str());
  FUZZ_CHECK(bytes.size() == (n + 1) / 2);
  return 0;
}
