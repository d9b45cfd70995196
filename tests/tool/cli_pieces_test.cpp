#include <cli/result_text.h>
#include <gtest/gtest.h>

namespace veravo::cli {
namespace {

// The other kinds of result (nothing, booleans, numbers) show in the tool runs.
TEST(ResultText, QuotesWithCEscapesAndConvertsCodePage936) {
  EXPECT_EQ(QuoteResult("0A1B"), "\"0A1B\"");
  EXPECT_EQ(QuoteResult(std::string("\x01\r\n\t\"\\\x7F", 7)), "\"\\x01\\r\\n\\t\\\"\\\\\\x7F\"");
  EXPECT_EQ(QuoteResult(std::string(1, '\0')), "\"\\x00\"");
  // A GBK character becomes UTF-8; a lone high byte is shown as \xHH.
  EXPECT_EQ(QuoteResult("\xA1\xA3"), "\"\xE3\x80\x82\"");
  EXPECT_EQ(QuoteResult("\xFD"), "\"\\xFD\"");
}

}  // namespace
}  // namespace veravo::cli
