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

void SetLines(TZPComboBox& box, Lines lines) {
  TStringList source;
  for (const AnsiString& l : lines) source.Add(l);
  box.SetZCodeTable(&source);
}

Lines Codes(const TZPComboBox& box) {
  Lines out;
  for (int i = 0; i < box.GetItemCount(); ++i) out.push_back(box.GetCode(i));
  return out;
}

TEST(CodeTable, RepeatedCodesMeanTheFirstEntryLoadsFollowTheCursorAndTheBoxRebuildsFromItsLines) {
  TZCodeTable t;
  EXPECT_EQ(t.Add("A", "first"), 0);
  EXPECT_EQ(t.Add("", "empty code"), 1);
  EXPECT_EQ(t.Add("a", "second"), 2);  // the same code in another case
  t.Add("K2", "");
  EXPECT_EQ(Entries(t), "A=first =empty code a=first K2= ");
  EXPECT_EQ(t.GetValue(" A"), "");

  t.SetValue("a", "changed");  // changes the first only
  t.SetValue("K3", "three");   // unknown code: appended
  EXPECT_EQ(Entries(t), "A=changed =empty code a=changed K2= K3=three ");
  EXPECT_EQ(t.Delete("A"), 0);  // removes the first only
  EXPECT_EQ(t.GetValue("A"), "second");
  EXPECT_EQ(t.Delete("zz"), -1);
  EXPECT_EQ(t.Delete(4), -1);  // equal to the count
  EXPECT_THROW(t.Delete(-1), EStringListError);
  EXPECT_EQ(t.Delete(0), 0);
  EXPECT_EQ(Entries(t), "a=second K2= K3=three ");

  // Loading: the table and a coded box scan in cursor order and return, or
  // stop where an error came up.
  TMemoryDataSet ds(nullptr);
  ds.SetFieldNames({"CODE", "NAME"});
  for (auto [code, name] : {std::pair{"01", "Cash"}, {"02", nullptr}, {"01", "Again"}, {"", "No code"}})
    ds.AppendRecord({code, name});
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
  box.LoadFormZCodeTable(&t);
  EXPECT_EQ(box.ZCodeTable()->ToVector(), (Lines{"01=Cash", "02=", "01=Cash", "=No code"}));

  EXPECT_THROW(t.LoadFromDataSet(&ds, "CODE", "MISSING"), EDatabaseError);
  EXPECT_EQ(t.GetCount(), 0);
  failAt = 2;
  EXPECT_THROW(t.LoadFromDataSet(&ds, "CODE", "NAME"), EDatabaseError);
  EXPECT_EQ(Entries(t), "01=Cash ");
  EXPECT_EQ(ds.RecNo(), 2);

  // The coded box rebuilds from its lines, keeps its own updates until then
  // and leaves sorted items alone.
  SetLines(box, {"A=x=y", "D=one", "plain", "d=two", "=blank"});
  EXPECT_EQ(Codes(box), (Lines{"A", "D", "", "d", ""}));
  EXPECT_EQ(box.Items()->ToVector(), (Lines{"x=y", "one", "blank", "one", "blank"}));
  EXPECT_EQ(box.FindCode("d"), 1);
  EXPECT_EQ(box.FindCode(" d"), -1);

  box.ClearCodes();
  box.AddCode("K=1", "v");  // a code holding "=" is split by the next rebuild
  EXPECT_EQ(Codes(box), (Lines{"K=1"}));
  box.ZCodeTable()->Add("Z=z");
  EXPECT_EQ(Codes(box), (Lines{"K", "Z"}));
  EXPECT_EQ(box.Items()->ToVector(), (Lines{"1=v", "z"}));

  // Own updates last until the next rebuild; index errors change nothing.
  SetLines(box, {"A=Apple", "B=Banana"});
  EXPECT_THROW(box.SetCode(-1, "x"), EStringListError);
  EXPECT_THROW(box.InsertCode(3, "C", "Cherry"), EStringListError);
  EXPECT_THROW(box.DeleteCode(2), EStringListError);
  box.SetValue(0, "shown only");  // a rebuild would put Apple back
  box.SetCode(1, "X");
  EXPECT_EQ(box.FindCode("x"), 1);
  EXPECT_EQ(box.AddCode("C", "Cherry"), 2);
  box.InsertCode(1, "AB", "Apricot");
  box.DeleteCode(3);
  box.InsertCode(3, "D", "Date");  // inserting at the end is allowed
  EXPECT_EQ(box.ZCodeTable()->ToVector(), (Lines{"A=Apple", "AB=Apricot", "B=Banana", "D=Date"}));
  EXPECT_EQ(box.Items()->ToVector(), (Lines{"shown only", "Apricot", "Banana", "Date"}));
  EXPECT_EQ(Codes(box), (Lines{"A", "AB", "X", "D"}));

  // Any other change of the lines rebuilds, as does the end of form loading.
  box.ZCodeTable()->Put(2, "B=Blueberry");
  EXPECT_EQ(box.Items()->ToVector(), (Lines{"Apple", "Apricot", "Blueberry", "Date"}));
  box.SetItemIndex(0);  // picking an item shows it; an index off the list shows nothing
  EXPECT_EQ(box.GetText(), "Apple");
  box.SetItemIndex(4);
  EXPECT_EQ(box.GetItemIndex(), -1);
  EXPECT_EQ(box.GetText(), "");
  EXPECT_EQ(box.GetCode(2), "B");
  box.SetValue(1, "changed");
  box.Loaded();
  EXPECT_EQ(box.GetValue(1), "Apricot");

  // Sorted items are not reconciled with the codes.
  box.SetSorted(true);
  SetLines(box, {"1=pear", "2=Apple", "3=fig"});
  EXPECT_EQ(box.Items()->ToVector(), (Lines{"Apple", "fig", "pear"}));
  EXPECT_EQ(Codes(box), (Lines{"1", "2", "3"}));
  box.InsertCode(0, "0", "zucchini");  // placed where asked, as the control does
  EXPECT_EQ(box.GetValue(0), "zucchini");
  EXPECT_EQ(box.GetCode(0), "0");
}

}  // namespace
}  // namespace veravo
