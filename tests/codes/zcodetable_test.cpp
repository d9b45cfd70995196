#include <gtest/gtest.h>
#include <veravo/codes/zcodetable.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/memory_dataset.h>

#include <string>
#include <utility>
#include <vector>

namespace veravo {
namespace {

std::string Entries(const TZCodeTable& t) {
  std::string out;
  for (int i = 0; i < t.GetCount(); ++i)
    out += t.GetCode(i).str() + "=" + t.GetValue(t.GetCode(i)).str() + " ";
  return out;
}

TEST(CodeTable, RepeatedCodesMeanTheFirstEntryAndCodesAreNotTrimmed) {
  TZCodeTable t;
  EXPECT_EQ(t.Add("A", "first"), 0);
  EXPECT_EQ(t.Add("", "empty code"), 1);
  EXPECT_EQ(t.Add("a", "second"), 2);  // the same code in another case
  t.Add("K2", "");
  EXPECT_EQ(Entries(t), "A=first =empty code a=first K2= ");
  EXPECT_EQ(t.GetValue(" A"), "");
  EXPECT_EQ(t.GetValue("A "), "");

  t.SetValue("a", "changed");  // changes the first only
  t.SetValue("K3", "three");   // unknown code: appended
  EXPECT_EQ(Entries(t), "A=changed =empty code a=changed K2= K3=three ");
  EXPECT_EQ(t.Delete("A"), 0);  // removes the first only
  EXPECT_EQ(t.GetValue("A"), "second");
  EXPECT_EQ(t.Delete("zz"), -1);
  EXPECT_EQ(t.Delete(4), -1);  // equal to the count
  EXPECT_THROW(t.Delete(-1), EStringListError);
  EXPECT_THROW(t.GetCode(4), EStringListError);
  EXPECT_EQ(t.Delete(0), 0);
  EXPECT_EQ(Entries(t), "a=second K2= K3=three ");
}

TEST(CodeTableLoad, ScansInCursorOrderAndReturnsOrStopsWhereAnErrorCameUp) {
  TMemoryDataSet ds(nullptr);
  ds.SetFieldNames({"CODE", "NAME"});
  for (auto [code, name] : {std::pair{"01", "Cash"}, {"02", nullptr}, {"01", "Again"}, {"", "No code"}})
    ds.AppendRecord({code, name});
  TZCodeTable t;
  t.Add("stale", "x");
  t.LoadFromDataSet(&ds, "code", "NAME");  // closed: leaves the table empty
  EXPECT_EQ(t.GetCount(), 0);
  ds.Open();
  ds.Next();
  ds.Next();  // on record 3

  int moves = 0, failAt = 0;
  ds.AddDataLink([&](TDataSet& d) {
    ++moves;
    if (d.RecNo() == failAt) throw EDatabaseError("move failed");
  });
  t.Add("stale", "x");
  t.LoadFromDataSet(&ds, "code", "NAME");
  EXPECT_EQ(Entries(t), "01=Cash 02= 01=Cash =No code ");
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_EQ(ds.BookmarkCount(), 0);
  // The attached controls followed the scan: First, four Next, the return.
  EXPECT_EQ(moves, 6);

  EXPECT_THROW(t.LoadFromDataSet(&ds, "CODE", "MISSING"), EDatabaseError);
  EXPECT_EQ(t.GetCount(), 0);
  failAt = 2;
  EXPECT_THROW(t.LoadFromDataSet(&ds, "CODE", "NAME"), EDatabaseError);
  EXPECT_EQ(Entries(t), "01=Cash ");
  EXPECT_EQ(ds.RecNo(), 2);
}

}  // namespace
}  // namespace veravo
