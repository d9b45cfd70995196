#include <gtest/gtest.h>
#include <veravo/codes/zcodetable.h>
#include <veravo/codes/zpcombobox.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/memory_dataset.h>

#include <string>
#include <utility>
#include <vector>

namespace veravo {
namespace {

using Lines = std::vector<AnsiString>;

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

TEST(CodeTableLoad, TableAndBoxScanInCursorOrderAndReturnOrStopWhereAnErrorCameUp) {
  TMemoryDataSet ds(nullptr);
  ds.SetFieldNames({"CODE", "NAME"});
  for (auto [code, name] : {std::pair{"01", "Cash"}, {"02", nullptr}, {"01", "Again"}, {"", "No code"}})
    ds.AppendRecord({code, name});
  TZCodeTable t;
  t.Add("stale", "x");
  t.LoadFromDataSet(&ds, "code", "NAME");  // closed: leaves the table empty
  EXPECT_EQ(t.GetCount(), 0);
  TZPComboBox box(nullptr);
  box.AddCode("old", "line");
  box.LoadFromDataSet(&ds, "code", "name");  // so does a coded box
  EXPECT_EQ(box.GetItemCount() + box.Items()->Count() + box.ZCodeTable()->Count(), 0);
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

  // A coded box loads entry by entry, each keeping its own value until a
  // rebuild; from a code table, a repeated code takes the first value.
  box.LoadFromDataSet(&ds, "code", "name");
  EXPECT_EQ(box.GetCode(2), "01");
  EXPECT_EQ(box.Items()->ToVector(), (Lines{"Cash", "", "Again", "No code"}));
  EXPECT_EQ(box.ZCodeTable()->ToVector(), (Lines{"01=Cash", "02=", "01=Again", "=No code"}));
  box.ZCodeTableOnChange(nullptr);
  EXPECT_EQ(box.GetValue(2), "Cash");
  box.ClearCodes();
  box.LoadFormZCodeTable(&t);
  EXPECT_EQ(box.ZCodeTable()->ToVector(), (Lines{"01=Cash", "02=", "01=Cash", "=No code"}));
  EXPECT_EQ(box.Items()->ToVector(), (Lines{"Cash", "", "Cash", "No code"}));

  EXPECT_THROW(t.LoadFromDataSet(&ds, "CODE", "MISSING"), EDatabaseError);
  EXPECT_EQ(t.GetCount(), 0);
  failAt = 2;
  EXPECT_THROW(t.LoadFromDataSet(&ds, "CODE", "NAME"), EDatabaseError);
  EXPECT_EQ(Entries(t), "01=Cash ");
  EXPECT_EQ(ds.RecNo(), 2);
}

}  // namespace
}  // namespace veravo
