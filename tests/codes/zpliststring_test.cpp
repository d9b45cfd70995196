#include <gtest/gtest.h>
#include <veravo/codes/zpliststring.h>
#include <veravo/platform/vcl/exception.h>

namespace veravo {
namespace {

TEST(ValueCodeList, StoresTrimmedAndLooksUpTrimmedExactKeys) {
  EXPECT_EQ(objZPListString, nullptr);
  TZPListString list(Application);
  list.AddValue("  Apple\t", " A ");
  list.AddValue("apple", "a");
  EXPECT_EQ(list.GetIntValue(0), "Apple");
  EXPECT_EQ(list.GetIntCode(0), "A");
  EXPECT_EQ(list.GetCode("Apple "), "A");
  EXPECT_EQ(list.GetCode("APPLE"), "");  // letter case matters
  EXPECT_EQ(list.GetCode("apple"), "a");
  EXPECT_EQ(list.GetValue("\nA"), "Apple");
  EXPECT_EQ(list.GetValue("b"), "");
}

TEST(ValueCodeList, UpdateCodeStoresTheCodeUntrimmedForEveryMatch) {
  TZPListString list(nullptr);
  list.AddValue("Cash", "01");
  list.AddValue("Card", "02");
  list.AddValue("Cash", "03");
  list.UpdateCode(" Cash", " 09 ");
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.GetIntCode(0), " 09 ");
  EXPECT_EQ(list.GetIntCode(1), "02");
  EXPECT_EQ(list.GetIntCode(2), " 09 ");
  EXPECT_EQ(list.GetValue("09"), "");  // the trimmed key never equals it
  EXPECT_EQ(list.GetValue(" 09 "), "");
  EXPECT_EQ(list.GetCode("Cash"), " 09 ");
}

TEST(ValueCodeList, RemovalsTakeEveryMatchAndAlwaysAnswerTrue) {
  TZPListString list(nullptr);
  EXPECT_TRUE(list.Clear());
  EXPECT_TRUE(list.DelValue("x"));
  EXPECT_TRUE(list.DelCode("x"));
  list.AddValue("keep", "1");
  list.AddValue("dup", "2");
  list.AddValue("dup", "3");
  list.AddValue("dup", "4");
  list.AddValue("keep", "5");
  list.AddValue("Dup", "2");
  EXPECT_TRUE(list.DelValue("dup "));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.GetIntCode(1), "5");
  EXPECT_EQ(list.GetIntValue(2), "Dup");
  EXPECT_TRUE(list.DelCode("2"));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_TRUE(list.DelCode("nothing"));
  EXPECT_EQ(list.Count(), 2);
}

TEST(ValueCodeList, OnlyTheUpperEndOfAnIndexIsGuarded) {
  TZPListString list(nullptr);
  list.AddValue("v0", "c0");
  list.AddValue("v1", "c1");
  EXPECT_EQ(list.GetIntValue(2), "");
  EXPECT_EQ(list.GetIntCode(2), "");
  list.DelInt(2);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_THROW(list.GetIntValue(-1), EStringListError);
  EXPECT_THROW(list.GetIntCode(-1), EStringListError);
  EXPECT_THROW(list.DelInt(-1), EStringListError);
  EXPECT_EQ(list.Count(), 2);
  list.DelInt(0);
  EXPECT_EQ(list.GetIntValue(0), "v1");
  EXPECT_EQ(list.GetIntCode(0), "c1");
}

}  // namespace
}  // namespace veravo
