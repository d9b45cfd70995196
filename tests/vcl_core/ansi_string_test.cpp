#include <gtest/gtest.h>
#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/vcl/codepage.h>
#include <veravo/platform/vcl/exception.h>

#include <compare>
#include <tuple>
#include <utility>

namespace veravo {
namespace {

TEST(AnsiString, KeepsZeroBytesAndCountsThem) {
  AnsiString s(std::string("A\0B", 3));
  EXPECT_EQ(s.Length(), 3);
  EXPECT_EQ(s + AnsiString(std::string("\0", 1)), AnsiString(std::string("A\0B\0", 4)));
  EXPECT_EQ(s.SubString(2, 2), AnsiString(std::string("\0B", 2)));
  EXPECT_EQ(AnsiString(static_cast<const char*>(nullptr)), "");
}

TEST(AnsiString, SubStringAndPosAreOneBasedAndClipped) {
  AnsiString s("0102'AB'03");
  EXPECT_EQ(s.Pos("'"), 5);
  EXPECT_EQ(s.Pos("X"), 0);
  EXPECT_EQ(s.Pos(""), 0);
  // {start, count, part}: position 0 counts as before the start.
  const std::tuple<int, int, const char*> parts[] = {{1, 2, "01"}, {9, 10, "03"}, {11, 1, ""},
                                                     {0, 3, "01"}, {3, 0, ""},    {3, -1, ""}};
  for (const auto& [start, count, part] : parts) EXPECT_EQ(s.SubString(start, count), part) << start;
  EXPECT_THROW(s[0], ERangeError);
  EXPECT_THROW(s[11], ERangeError);
  EXPECT_EQ(s[5], '\'');
}

// Positions outside the text clip to its ends (Insert) or change nothing
// (Delete); the copy the edit starts from keeps its value.
TEST(AnsiString, InsertAndDeleteClipToTheText) {
  const std::tuple<bool, int, int, const char*> cases[] = {
      {true, 0, 0, "Xabc"}, {true, 1, 0, "Xabc"}, {true, 3, 0, "abXc"}, {true, 4, 0, "abcX"},
      {true, 9, 0, "abcX"}, {false, 1, 2, "c"},   {false, 2, 9, "a"},   {false, 3, 1, "ab"},
      {false, 0, 1, "abc"}, {false, 4, 1, "abc"}, {false, 2, 0, "abc"}, {false, 2, -1, "abc"},
  };
  const AnsiString original("abc");
  for (const auto& [insert, index, count, want] : cases) {
    AnsiString s = original;
    insert ? s.Insert("X", index) : s.Delete(index, count);
    EXPECT_EQ(s, want) << (insert ? "Insert at " : "Delete from ") << index;
  }
  EXPECT_EQ(original, "abc");
}

// Ordering is by unsigned bytes: a high byte sorts after every ASCII one.
TEST(AnsiString, OrdersByUnsignedBytes) {
  const std::tuple<const char*, const char*, std::strong_ordering> cases[] = {
      {"ab", "ab", std::strong_ordering::equal},
      {"ab", "abc", std::strong_ordering::less},
      {"b", "abc", std::strong_ordering::greater},
      {"\xA1", "z", std::strong_ordering::greater}};
  for (const auto& [a, b, want] : cases)
    EXPECT_TRUE((AnsiString(a) <=> AnsiString(b)) == want) << a << " <=> " << b;
}

TEST(AnsiString, TrimAndCaseMappingLeaveHighBytesAlone) {
  EXPECT_EQ(Trim(" \t\r\n01AA,\x01"), "01AA,");
  EXPECT_EQ(Trim(AnsiString(std::string("\0 x \0", 5))), "x");
  EXPECT_EQ(Trim("\xA1\xA3 "), "\xA1\xA3");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(TrimRight("   "), "");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_EQ(UpperCase("ab\xE9z"), "AB\xE9Z");  // case mapping touches only ASCII letters
  EXPECT_EQ(LowerCase("AB\xC9Z"), "ab\xC9z");
}

TEST(AnsiString, NumberConversions) {
  EXPECT_EQ(IntToStr(-4800), "-4800");
  EXPECT_EQ(IntToHex(0xAB, 4), "00AB");
  EXPECT_EQ(IntToHex(0x2189, 2), "2189");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  const std::pair<const char*, int> numbers[] = {{" 9600 ", 9600}, {"-12", -12}, {"$1A", 26}, {"0x1a", 26}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(StrToInt(text), value) << text;
  EXPECT_THROW(StrToInt("12a"), EConvertError);
  for (const char* bad : {"", "99999999999", "x"}) EXPECT_EQ(StrToIntDef(bad, 7), 7) << bad;
}

// Whole messages are converted in the error text tests; a lone lead byte at
// the end is shown as a replacement character.
TEST(Codepage, LoneLeadByteBecomesAReplacementCharacter) {
  EXPECT_EQ(Cp936ToUtf8("ok\xA1\xA3\xA1"), "ok\xE3\x80\x82\xEF\xBF\xBD");
}

}  // namespace
}  // namespace veravo
