#include <gtest/gtest.h>
#include <veravo/codes/zpcombobox.h>
#include <veravo/platform/vcl/exception.h>

#include <string>
#include <vector>

namespace veravo {
namespace {

using Lines = std::vector<AnsiString>;

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

TEST(CodedComboBox, RebuildsFromItsLinesKeepsItsOwnUpdatesUntilThenAndLeavesSortedItemsAlone) {
  TZPComboBox box(nullptr);
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
