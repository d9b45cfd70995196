// Hex text conversions, the XOR check characters and the CRC-16 of TZPEdit.
// None of them touches the port or the edit's Text.
#include <veravo/edit/zpedit.h>

#include <cstring>

namespace veravo {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Value of a hex digit of either case; every other character counts as 0.
unsigned DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return 0;
}

AnsiString OneCharacter(unsigned char value) { return AnsiString(std::string(1, static_cast<char>(value))); }

}  // namespace

std::string TZPEdit::BytesToHexText(const unsigned char* bytes, std::size_t count, const char* separator) {
  if (count == 0) {
    while (bytes && bytes[count] != 0) ++count;
  }
  std::string text;
  text.reserve(count * (2 + (separator ? std::strlen(separator) : 0)));
  for (std::size_t i = 0; i < count; ++i) {
    text += kHexDigits[bytes[i] / 16];
    text += kHexDigits[bytes[i] % 16];
    if (separator) text += separator;
  }
  return text;
}

std::vector<unsigned char> TZPEdit::HexTextToBytes(const char* hexText) {
  std::vector<unsigned char> bytes;
  if (!hexText) return bytes;
  std::size_t n = std::strlen(hexText);
  bytes.reserve((n + 1) / 2);
  std::size_t i = 0;
  if (n % 2 == 1) {
    bytes.push_back(static_cast<unsigned char>(DigitValue(hexText[0])));
    i = 1;
  }
  for (; i + 1 < n; i += 2) {
    bytes.push_back(static_cast<unsigned char>(DigitValue(hexText[i]) * 16 + DigitValue(hexText[i + 1])));
  }
  return bytes;
}

// XOR of the bytes of a hex text, taken in pairs from the start: a trailing
// odd digit is not part of any byte.
AnsiString TZPEdit::XorByte(const AnsiString& hexText) {
  try {
    const std::string& t = hexText.str();
    unsigned char x = 0;
    for (std::size_t i = 0; i + 1 < t.size(); i += 2) {
      x ^= static_cast<unsigned char>(DigitValue(t[i]) * 16 + DigitValue(t[i + 1]));
    }
    return OneCharacter(x);
  } catch (...) {
    return AnsiString();
  }
}

// Check of a quoted text: the characters before the first "'" and, when
// anything follows that "'", the byte of the (one or two) hex digits after
// it. The covered text is checked whatever its length.
AnsiString TZPEdit::XorChar(const AnsiString& text) {
  try {
    int q = text.Pos("'");
    unsigned char x = 0;
    for (int i = 1; i < q; ++i) x ^= static_cast<unsigned char>(text[i]);
    if (text.Length() != q) {
      std::vector<unsigned char> trailer = HexTextToBytes(text.SubString(q + 1, 2).c_str());
      if (!trailer.empty()) x ^= trailer[0];
    }
    return OneCharacter(x);
  } catch (...) {
    return AnsiString();
  }
}

// CRC-16 with the reflected CCITT polynomial 0x8408, initial value 0 and no
// final XOR, bit by bit.
unsigned TZPEdit::GetCRC16(const unsigned char* bytes, unsigned count) {
  unsigned crc = 0;
  for (unsigned i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1u) ? (crc >> 1) ^ 0x8408u : crc >> 1;
    }
  }
  return crc & 0xFFFFu;
}

// CRC of the bytes of a hex text as four hex digits, low byte first. The
// whole text is covered, however long it is.
AnsiString TZPEdit::GetCRC(const AnsiString& hexText) {
  try {
    std::vector<unsigned char> bytes = HexTextToBytes(hexText.c_str());
    unsigned crc = GetCRC16(bytes.data(), static_cast<unsigned>(bytes.size()));
    AnsiString digits = IntToHex(crc, 2);
    while (digits.Length() < 4) digits = "0" + digits;
    return digits.SubString(3, 2) + digits.SubString(1, 2);
  } catch (...) {
    return AnsiString("0000");
  }
}

AnsiString TZPEdit::StrToHex(const AnsiString& text) {
  unsigned char c = text.IsEmpty() ? 0 : static_cast<unsigned char>(text[1]);
  return IntToHex(c, 2);
}

}  // namespace veravo
