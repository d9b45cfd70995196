#include <gtest/gtest.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/memory_dataset.h>
#include <veravo/platform/vcl/sqlite_dataset.h>

#include <filesystem>
#include <random>
#include <string>

namespace veravo {
namespace {

TEST(DataSetCursor, MovesReadsStopsAtTheEndsAndReturnsToBookmarks) {
  TMemoryDataSet ds(nullptr);
  ds.SetFieldNames({"CODE", "NAME"});
  ds.AppendRecord({"A", "Apple"});
  ds.AppendRecord({"B", nullptr});
  ds.AppendRecord({"C", "Cherry"});
  EXPECT_THROW(ds.First(), EDatabaseError);  // closed
  ds.Open();
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("name").AsString(), "Apple");  // field names ignore case
  ds.Next();
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "");  // NULL
  ds.Next();
  ds.Next();  // past the last: the flag is set, the cursor stays
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("CODE").AsString(), "C");
  try {
    ds.FieldByName("PRICE");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("'PRICE'"), std::string::npos) << e.what();
  }
  ds.Close();
  EXPECT_THROW(ds.FieldByName("CODE"), EDatabaseError);

  TMemoryDataSet empty(nullptr);
  empty.SetFieldNames({"CODE"});
  empty.Open();
  EXPECT_TRUE(empty.Eof());
  EXPECT_EQ(empty.FieldByName("CODE").AsString(), "");
  TBookmark none = empty.GetBookmark();  // no position to mark
  empty.GotoBookmark(none);
  EXPECT_EQ(empty.BookmarkCount(), 0);

  // Bookmarks return; the links follow every move unless disabled.
  std::vector<int> seen;
  ds.AddDataLink([&](TDataSet& d) { seen.push_back(d.RecNo()); });
  ds.Open();
  ds.Next();
  TBookmark b = ds.GetBookmark();
  ds.Last();
  ds.GotoBookmark(b);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 2}));
  EXPECT_FALSE(ds.Eof());
  ds.FreeBookmark(b);
  EXPECT_EQ(ds.BookmarkCount(), 0);
  EXPECT_THROW(ds.GotoBookmark(b), EDatabaseError);

  seen.clear();
  ds.DisableControls();
  ds.DisableControls();
  ds.Next();
  ds.EnableControls();
  ds.First();
  EXPECT_TRUE(seen.empty());
  ds.EnableControls();  // the outermost enable tells the links once
  EXPECT_EQ(seen, (std::vector<int>{1}));
}

TEST(SQLiteDataSet, RunsTheQueryReadsEveryTypeAsTextAndRaisesDatabaseErrors) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("veravo-" + std::to_string(std::random_device()()) + ".db"))
          .string();
  TSQLiteDataSet ds(nullptr);
  ds.DatabaseName = path.c_str();
  ds.SQL =
      "CREATE TABLE t(code TEXT, value TEXT, n INTEGER);"
      "INSERT INTO t VALUES('A', 'Apple', 1), ('B', NULL, 22), ('C', '\xB0\xA1', NULL);";
  ds.ExecSQL();
  ds.SQL = "SELECT code, value, n FROM t ORDER BY code";
  ds.Open();
  ASSERT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(ds.FieldByName("N").AsString(), "1");
  ds.Next();
  EXPECT_EQ(ds.FieldByName("value").AsString(), "");
  EXPECT_EQ(ds.FieldByName("n").AsString(), "22");
  ds.Next();
  EXPECT_EQ(ds.FieldByName("value").AsString(), "\xB0\xA1");
  EXPECT_TRUE(ds.FieldByName("n").IsNull());

  ds.Close();
  ds.SQL = "SELECT nothing FROM t";
  EXPECT_THROW(ds.Open(), EDatabaseError);
  EXPECT_FALSE(ds.GetActive());
  ds.SQL = "NOT SQL";
  EXPECT_THROW(ds.ExecSQL(), EDatabaseError);
  std::filesystem::remove(path);
  ds.SQL = "SELECT 1";
  EXPECT_THROW(ds.Open(), EDatabaseError);  // a query never creates the file
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace veravo
