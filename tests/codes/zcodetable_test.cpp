#include <gtest/gtest.h>
#include <veravo/codes/zcodetable.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/memory_dataset.h>
#include <veravo/platform/vcl/sqlite_dataset.h>

#include <string>
#include <utility>
#include <vector>

#include "vcl/temp_database.h"

namespace veravo {
namespace {

std::vector<std::pair<std::string, std::string>> Entries(const TZCodeTable& t) {
  std::vector<std::pair<std::string, std::string>> out;
  for (int i = 0; i < t.GetCount(); ++i) out.emplace_back(t.GetCode(i).str(), t.GetValue(t.GetCode(i)).str());
  return out;
}

TEST(CodeTable, RepeatedCodesAlwaysMeanTheFirstEntry) {
  TZCodeTable t;
  EXPECT_EQ(t.Add("A", "first"), 0);
  EXPECT_EQ(t.Add("B", "bee"), 1);
  EXPECT_EQ(t.Add("a", "second"), 2);  // the same code in another case
  EXPECT_EQ(t.GetValue("A"), "first");
  EXPECT_EQ(t.GetValue("a"), "first");

  t.SetValue("a", "changed");  // changes the first only
  EXPECT_EQ(t.GetValue("a"), "changed");
  EXPECT_EQ(t.GetCount(), 3);

  EXPECT_EQ(t.Delete("A"), 0);  // removes the first only
  EXPECT_EQ(t.GetCount(), 2);
  EXPECT_EQ(t.GetValue("A"), "second");
  EXPECT_EQ(t.Delete("zz"), -1);
  EXPECT_EQ(t.GetCount(), 2);
}

TEST(CodeTable, CodesAreNotTrimmedAndEmptyIsACode) {
  TZCodeTable t;
  t.Add("K1", "one");
  t.Add("", "empty code");
  t.Add("K2", "");
  EXPECT_EQ(t.GetValue(" K1"), "");
  EXPECT_EQ(t.GetValue("K1 "), "");
  EXPECT_EQ(t.GetValue("k1"), "one");
  EXPECT_EQ(t.GetValue(""), "empty code");
  EXPECT_EQ(t.GetValue("K2"), "");

  t.SetValue("K3", "three");  // unknown code: appended
  EXPECT_EQ(t.GetCode(3), "K3");
  EXPECT_EQ(t.Add("K4", "four"), 4);
}

TEST(CodeTable, IndexRulesAtTheEdges) {
  TZCodeTable t;
  t.Add("A", "1");
  t.Add("B", "2");
  EXPECT_EQ(t.Delete(2), -1);  // equal to the count
  EXPECT_THROW(t.Delete(-1), EStringListError);
  EXPECT_THROW(t.GetCode(2), EStringListError);
  EXPECT_EQ(Entries(t), (decltype(Entries(t)){{"A", "1"}, {"B", "2"}}));
  EXPECT_EQ(t.Delete(0), 0);
  EXPECT_EQ(Entries(t), (decltype(Entries(t)){{"B", "2"}}));
}

TEST(CodeTableLoad, ClosedOrEmptyDataSetLeavesTheTableEmpty) {
  TZCodeTable t;
  t.Add("old", "entry");
  TMemoryDataSet ds(nullptr);
  ds.SetFieldNames({"CODE", "NAME"});
  ds.AppendRecord({"A", "Apple"});
  t.LoadFromDataSet(&ds, "CODE", "NAME");  // closed
  EXPECT_EQ(t.GetCount(), 0);

  t.Add("old", "entry");
  TMemoryDataSet empty(nullptr);
  empty.SetFieldNames({"CODE", "NAME"});
  empty.Open();
  t.LoadFromDataSet(&empty, "CODE", "NAME");
  EXPECT_EQ(t.GetCount(), 0);
  EXPECT_TRUE(empty.Eof());
  EXPECT_EQ(empty.BookmarkCount(), 0);
}

TEST(CodeTableLoad, FillsFromSQLiteInCursorOrderAndRestoresTheCursor) {
  testing::TempDatabase db;
  db.Exec(
      "CREATE TABLE codes(id INTEGER, code TEXT, name TEXT);"
      "INSERT INTO codes VALUES (1, '01', 'Cash'), (2, '02', NULL), (3, '01', 'Again'), (4, '', 'No code');");
  TSQLiteDataSet ds(nullptr);
  db.Prepare(ds, "SELECT code, name FROM codes ORDER BY id");
  ds.Open();
  ds.Next();
  ds.Next();  // on record 3

  int moves = 0;
  ds.AddDataLink([&](TDataSet&) { ++moves; });
  TZCodeTable t;
  t.Add("stale", "x");
  t.LoadFromDataSet(&ds, "code", "NAME");

  ASSERT_EQ(t.GetCount(), 4);
  EXPECT_EQ(t.GetCode(2), "01");
  EXPECT_EQ(t.GetValue("01"), "Cash");
  EXPECT_EQ(t.GetValue("02"), "");
  EXPECT_EQ(t.GetValue(""), "No code");
  EXPECT_EQ(t.GetValue("stale"), "");
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_EQ(ds.BookmarkCount(), 0);
  // The attached controls followed the scan: First, four Next, the return.
  EXPECT_EQ(moves, 6);
}

TEST(CodeTableLoad, AnErrorKeepsWhatWasReadAndTheCursorWhereItStopped) {
  TMemoryDataSet ds(nullptr);
  ds.SetFieldNames({"CODE", "NAME"});
  for (const char* c : {"A", "B", "C", "D"}) ds.AppendRecord({c, "v"});
  ds.Open();
  TZCodeTable t;
  EXPECT_THROW(t.LoadFromDataSet(&ds, "CODE", "MISSING"), EDatabaseError);
  EXPECT_EQ(t.GetCount(), 0);

  ds.AddDataLink([](TDataSet& d) {
    if (d.RecNo() == 3) throw EDatabaseError("move failed");
  });
  EXPECT_THROW(t.LoadFromDataSet(&ds, "CODE", "NAME"), EDatabaseError);
  EXPECT_EQ(t.GetCount(), 2);
  EXPECT_EQ(t.GetCode(1), "B");
  EXPECT_EQ(ds.RecNo(), 3);
}

}  // namespace
}  // namespace veravo
