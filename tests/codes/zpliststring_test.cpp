#include <gtest/gtest.h>
#include <veravo/codes/zpliststring.h>
#include <veravo/platform/vcl/exception.h>

namespace veravo {
namespace {

TEST(ValueCodeList, StoresAndLooksUpTrimmedKeysUpdatesCodesUntrimmedAndRemovesEveryMatch) {
  EXPECT_EQ(objZPListString, nullptr);
  TZPListString list(Application);
  list.AddValue("  Apple\t", " A ");
  list.AddValue("apple", "a");
  list.AddValue("Card", "02");
  list.AddValue("Apple", "03");
  EXPECT_EQ(list.GetIntValue(0), "Apple");
  EXPECT_EQ(list.GetIntCode(0), "A");
  EXPECT_EQ(list.GetCode("Apple "), "A");
  EXPECT_EQ(list.GetCode("APPLE"), "");  // letter case matters
  EXPECT_EQ(list.GetCode("apple"), "a");
  EXPECT_EQ(list.GetValue("\nA"), "Apple");
  EXPECT_EQ(list.GetValue("b"), "");

  list.UpdateCode(" Apple", " 09 ");  // every match
  EXPECT_EQ(list.Count(), 4);
  std::string codes;
  for (int i = 0; i < 4; ++i) codes += list.GetIntCode(i).str() + "|";
  EXPECT_EQ(codes, " 09 |a|02| 09 |");
  EXPECT_EQ(list.GetValue("09"), "");  // the trimmed key never equals it
  EXPECT_EQ(list.GetValue(" 09 "), "");
  EXPECT_EQ(list.GetCode("Apple"), " 09 ");

  // Removals take every match; only the upper end of an index is guarded.
  EXPECT_TRUE(list.Clear());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.DelValue("x"));
  EXPECT_TRUE(list.DelCode("x"));
  for (const char* v : {"keep", "dup", "dup", "dup", "keep", "Dup"})
    list.AddValue(v, v[0] == 'k' ? "5" : "2");
  EXPECT_TRUE(list.DelValue("dup "));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.GetIntValue(2), "Dup");
  EXPECT_TRUE(list.DelCode("2"));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_TRUE(list.DelCode("nothing"));

  list.AddValue("v2", "c2");
  EXPECT_EQ(list.GetIntValue(3), "");
  EXPECT_EQ(list.GetIntCode(3), "");
  list.DelInt(3);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_THROW(list.GetIntValue(-1), EStringListError);
  EXPECT_THROW(list.GetIntCode(-1), EStringListError);
  EXPECT_THROW(list.DelInt(-1), EStringListError);
  EXPECT_EQ(list.Count(), 3);
  list.DelInt(1);
  EXPECT_EQ(list.GetIntValue(1), "v2");
  EXPECT_EQ(list.GetIntCode(1), "c2");
  EXPECT_TRUE(list.DelValue("keep"));  // the first entry matches too
  EXPECT_EQ(list.GetIntValue(0), "v2");
}

}  // namespace
}  // namespace veravo
