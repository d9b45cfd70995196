#include <cli/result_text.h>
#include <cli/script.h>
#include <gtest/gtest.h>

namespace veravo::cli {
namespace {

TEST(ResultText, QuotesWithCEscapesAndConvertsCodePage936) {
  EXPECT_EQ(QuoteResult("0A1B"), "\"0A1B\"");
  EXPECT_EQ(QuoteResult(std::string("\x01\r\n\t\"\\\x7F", 7)), "\"\\x01\\r\\n\\t\\\"\\\\\\x7F\"");
  EXPECT_EQ(QuoteResult(std::string(1, '\0')), "\"\\x00\"");
  // A GBK character becomes UTF-8; a lone high byte is shown as \xHH.
  EXPECT_EQ(QuoteResult("\xA1\xA3"), "\"\xE3\x80\x82\"");
  EXPECT_EQ(QuoteResult("\xFD"), "\"\\xFD\"");
  EXPECT_EQ(FormatResult(NoResult{}), "-");
  EXPECT_EQ(FormatResult(true), "true");
  EXPECT_EQ(FormatResult(-12LL), "-12");
}

TEST(Script, LinesBecomeCallsWithVerbatimArguments) {
  auto calls = ParseScript("# header\n\nOpenDoor\nPringWriteData 0A1B, 'x' ,\r\nSendATNR \n  indented\n#x y");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].method, "OpenDoor");
  EXPECT_FALSE(calls[0].arg.has_value());
  EXPECT_EQ(calls[0].line, 3);
  EXPECT_EQ(calls[1].method, "PringWriteData");
  EXPECT_EQ(*calls[1].arg, "0A1B, 'x' ,");
  EXPECT_EQ(*calls[2].arg, "");    // a blank after the name gives the empty argument
  EXPECT_EQ(calls[3].method, "");  // a leading blank leaves no method name: reported as unknown
  EXPECT_EQ(*calls[3].arg, " indented");
  EXPECT_TRUE(ParseScript("").empty());
}

}  // namespace
}  // namespace veravo::cli
