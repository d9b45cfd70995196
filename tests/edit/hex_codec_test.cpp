// Hex text conversions, XOR check characters and the CRC; no port needed.
#include <gtest/gtest.h>
#include <veravo/edit/zpedit.h>

#include <string>
#include <vector>

namespace veravo {
namespace {

using Bytes = std::vector<unsigned char>;
std::string Char(int c) { return std::string(1, static_cast<char>(c)); }

TEST(HexCodec, HexTextXorChecksAndTheCrcWrittenLowByteFirst) {
  const unsigned char bytes[] = {0x00, 0x0F, 0xF0, 0xFF};
  EXPECT_EQ(TZPEdit::BytesToHexText(bytes, 4, "."), "00.0F.F0.FF.");
  const unsigned char zeroInside[] = {0x12, 0xAB, 0x00, 0x34};
  EXPECT_EQ(TZPEdit::BytesToHexText(zeroInside, 0), "12AB");  // count 0: up to the first zero byte

  EXPECT_EQ(TZPEdit::HexTextToBytes("zz7f"), (Bytes{0x00, 0x7F}));  // either case; others count as 0

  TZPEdit edit(nullptr);
  EXPECT_EQ(edit.StrToHex("Zebra"), "5A");  // the first character only
  EXPECT_EQ(edit.StrToHex("\xE9"), "E9");
  EXPECT_EQ(edit.StrToHex(""), "00");

  // XOR checks are one character.
  EXPECT_EQ(edit.XorByte("012").str(), Char(0x01));  // pairs from the start: the odd digit is dropped

  EXPECT_EQ(edit.XorChar("AB'").str(), Char(0x03));
  EXPECT_EQ(edit.XorChar("AB'7").str(), Char(0x04));     // a single trailer digit
  EXPECT_EQ(edit.XorChar("A'0102'").str(), Char(0x40));  // only two digits after the quote
  EXPECT_EQ(edit.XorChar("5A").str(), Char(0x5A));       // no quote: the first two characters as hex
  EXPECT_EQ(edit.XorChar(std::string(1024, 'A') + "C'").str(), "C");  // long texts are checked in full

  // The CRC is written low byte first.
  EXPECT_EQ(edit.GetCRC(""), "0000");
  EXPECT_EQ(edit.GetCRC("11"), "0801");  // 0x0108, padded to four digits

  Bytes big(15000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7 + 3);
  unsigned whole = edit.GetCRC16(big.data(), 15000);
  ASSERT_NE(whole, edit.GetCRC16(big.data(), 14095));
  EXPECT_EQ(edit.GetCRC(TZPEdit::BytesToHexText(big.data(), big.size())),
            IntToHex(whole & 0xFF, 2) + IntToHex(whole >> 8, 2));
}

}  // namespace
}  // namespace veravo
