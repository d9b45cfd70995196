#include <gtest/gtest.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/strings.h>

#include <random>
#include <string>
#include <vector>

namespace veravo {
namespace {

TStringList& Fill(TStringList& list, std::initializer_list<const char*> lines) {
  for (const char* line : lines) list.Add(line);
  return list;
}

TEST(StringListLookup, AsciiLettersFoldButBlanksAndDoubleByteCharactersDoNot) {
  TStringList list;
  Fill(list, {"alpha", " gamma", "\x81\x41x", "A=Apple", "plain", "a=second", "=blank name", "B=x=y", "C="});
  EXPECT_EQ(list.IndexOf("ALPHA"), 0);
  EXPECT_EQ(list.IndexOf("gamma"), -1);  // the stored line has a leading blank
  EXPECT_EQ(list.IndexOf("alpha "), -1);
  // The trail byte 0x41 of a double-byte character is not the letter A.
  EXPECT_EQ(list.IndexOf("\x81\x61x"), -1);
  EXPECT_EQ(list.IndexOf("\x81\x41X"), 2);
  // Name and value follow the first "="; the first match wins.
  EXPECT_EQ(list.GetName(4), "");
  EXPECT_EQ(list.GetValue("a"), "Apple");
  EXPECT_EQ(list.GetValue("B"), "x=y");
  EXPECT_EQ(list.IndexOfName("C"), 8);
  EXPECT_EQ(list.GetValue("plain"), "");  // a line without "=" has no name
  EXPECT_EQ(list.GetValue(""), "blank name");
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("ALPHA"), -1);

  std::mt19937 rng(7);
  const std::string alphabet = "aAbB=z \x81\x41\x61\xB0\xFE\x7F";
  auto random = [&] {
    std::string r;
    for (int n = static_cast<int>(rng() % 5); n > 0; --n) r += alphabet[rng() % alphabet.size()];
    return r;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string a = random();
    std::string b = random();
    ASSERT_EQ(CompareTextAnsi(a, b) == 0, FoldCaseAnsi(a) == FoldCaseAnsi(b)) << a << " | " << b;
    ASSERT_EQ(CompareTextAnsi(a, b), -CompareTextAnsi(b, a));
  }
}

TEST(StringListChange, OneNotificationPerChangeOrUpdateBlockAndNoneForABadIndex) {
  TStringList list;
  int changes = 0;
  TObject* sender = nullptr;
  list.OnChange = [&](TObject* s) {
    ++changes;
    sender = s;
  };
  list.Add("a");
  list.Insert(0, "b");
  list.Put(1, "c");
  list.Delete(0);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(sender, &list);
  try {
    list.Get(5);
    FAIL() << "no error";
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
  EXPECT_THROW(list.Put(1, "x"), EStringListError);
  EXPECT_THROW(list.Delete(-1), EStringListError);
  EXPECT_THROW(list.Insert(2, "x"), EStringListError);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(list.ToVector(), (std::vector<AnsiString>{"c"}));
  list.Insert(1, "d");  // inserting at the end is allowed
  EXPECT_EQ(list.Get(1), "d");

  list.Clear();
  list.Clear();  // already empty: no change
  EXPECT_EQ(changes, 6);
  TStringList source;
  Fill(source, {"x", "y", "z"});
  list.Assign(source);
  EXPECT_EQ(changes, 7);
  EXPECT_TRUE(list.Equals(source));

  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("1");
  list.Add("2");
  list.EndUpdate();
  EXPECT_EQ(changes, 7);
  list.EndUpdate();
  EXPECT_EQ(changes, 8);
}

TEST(StringListSorted, KeepsOrderAndRefusesPositionalChanges) {
  TStringList list;
  Fill(list, {"pear", "Apple", "fig"});
  list.SetSorted(true);
  EXPECT_EQ(list.ToVector(), (std::vector<AnsiString>{"Apple", "fig", "pear"}));
  EXPECT_EQ(list.Add("banana"), 1);
  EXPECT_EQ(list.Add("APPLE"), 1);  // after the equal line
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
  EXPECT_THROW(list.Put(0, "x"), EStringListError);
  list.SetDuplicates(TStringList::TDuplicates::dupIgnore);
  EXPECT_EQ(list.Add("PEAR"), 4);
  EXPECT_EQ(list.Count(), 5);
  list.SetDuplicates(TStringList::TDuplicates::dupError);
  EXPECT_THROW(list.Add("Pear"), EStringListError);
}

// The hash indexes must give exactly what a first-match scan gives, through
// every kind of edit.
TEST(StringListIndex, LookupsAgreeWithLinearScanAfterRandomEdits) {
  std::mt19937 rng(12345);
  const std::vector<std::string> keys = {"a", "B", "ab", "AB", "", " a"};
  const std::vector<std::string> tails = {"", "=1", "=x=a"};
  const auto lower = FoldCaseAnsi;  // checked against CompareTextAnsi above
  auto pick = [&](const std::vector<std::string>& from) { return from[rng() % from.size()]; };

  TStringList list;
  std::vector<std::string> model;
  for (int step = 0; step < 4000; ++step) {
    int n = static_cast<int>(model.size());
    std::string line = pick(keys) + pick(tails);
    int i = n > 0 ? static_cast<int>(rng() % n) : 0;
    switch (rng() % 10) {
      case 0:
      case 1:
        list.Add(line);
        model.push_back(line);
        break;
      case 2:
        list.Insert(i, line);
        model.insert(model.begin() + i, line);
        break;
      case 3:
        i = n - 1;  // the last line: the indexes are updated in place
        [[fallthrough]];
      case 4:
        if (n == 0) break;
        list.Delete(i);
        model.erase(model.begin() + i);
        break;
      case 5:
      case 6:
      case 7:  // puts most often: they update the indexes in place
        if (n == 0) break;
        list.Put(i, line);
        model[static_cast<std::size_t>(i)] = line;
        break;
      default:
        if (rng() % 40 == 0) {
          list.Clear();
          model.clear();
        }
    }
    for (const std::string& probe : {pick(keys), lower(pick(keys))}) {
      int firstLine = -1;
      int firstName = -1;
      for (int j = static_cast<int>(model.size()) - 1; j >= 0; --j) {
        const std::string& m = model[static_cast<std::size_t>(j)];
        if (lower(m) == lower(probe)) firstLine = j;
        if (m.find('=') != std::string::npos && lower(m.substr(0, m.find('='))) == lower(probe))
          firstName = j;
      }
      ASSERT_EQ(list.IndexOf(probe), firstLine) << "step " << step << " key '" << probe << "'";
      ASSERT_EQ(list.IndexOfName(probe), firstName) << "step " << step << " key '" << probe << "'";
    }
  }
}

}  // namespace
}  // namespace veravo
