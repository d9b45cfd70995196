#include <gtest/gtest.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/sqlite_dataset.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace veravo {
namespace {

// A query over a database file of the test's own: every type read as text,
// the cursor's moves and ends, bookmarks, the attached links, and the
// database errors.
TEST(DataSet, QueryCursorBookmarksLinksAndErrors) {
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
  EXPECT_THROW(ds.First(), EDatabaseError);  // closed
  ds.Open();
  ASSERT_EQ(ds.RecordCount(), 3);
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("N").AsString(), "1");  // field names ignore case
  ds.Next();
  EXPECT_EQ(ds.FieldByName("value").AsString(), "");  // NULL
  EXPECT_EQ(ds.FieldByName("n").AsString(), "22");
  ds.Next();
  EXPECT_EQ(ds.FieldByName("value").AsString(), "\xB0\xA1");
  EXPECT_TRUE(ds.FieldByName("n").IsNull());
  ds.Next();  // past the last: the flag is set, the cursor stays
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("CODE").AsString(), "C");
  ds.Close();
  EXPECT_THROW(ds.FieldByName("CODE"), EDatabaseError);

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

  ds.Close();
  ds.SQL = "SELECT code FROM t WHERE n > 100";
  ds.Open();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("CODE").AsString(), "");
  TBookmark none = ds.GetBookmark();  // no position to mark
  ds.GotoBookmark(none);
  EXPECT_EQ(ds.BookmarkCount(), 0);

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
