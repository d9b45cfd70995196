#include <gtest/gtest.h>
#include <veravo/platform/vcl/exception.h>
#include <veravo/platform/vcl/strings.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace veravo {
namespace {

// Lookups fold ASCII letters only; the two bytes of a double-byte character
// (lead 81-FE, trail 40-FE but not 7F) are kept as they are.
std::string Fold(const std::string& s, bool caseSensitive) {
  std::string out = s;
  for (std::size_t i = 0; i < out.size() && !caseSensitive; ++i) {
    auto c = static_cast<unsigned char>(out[i]);
    auto next = i + 1 < out.size() ? static_cast<unsigned char>(out[i + 1]) : 0;
    if (c >= 0x81 && c <= 0xFE && next >= 0x40 && next <= 0xFE && next != 0x7F)
      ++i;
    else if (c >= 'a' && c <= 'z')
      out[i] = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string Try(const std::function<void()>& f) {
  try {
    f();
  } catch (const EStringListError& e) {
    return e.what();
  }
  return "";
}

// Random edits, sorting and update blocks applied to a list and to a vector;
// after each step the lines, the change notifications and every lookup agree.
TEST(StringList, AgreesWithAVectorThroughRandomEdits) {
  const std::vector<std::string> keys = {"a",  "B",  "ab",       "AB",       "",
                                         " a", "a ", "\x81\x61", "\x81\x41", "\xFEz"};
  const std::vector<std::string> tails = {"", "=1", "=x=a"};
  std::mt19937 rng(2026);
  auto pick = [&](const std::vector<std::string>& from) { return from[rng() % from.size()]; };

  TStringList list;
  std::vector<std::string> model;
  bool sorted = false, caseSensitive = false;
  auto duplicates = TStringList::TDuplicates::dupAccept;
  int changes = 0, expectedChanges = 0, depth = 0;
  list.OnChange = [&](TObject* sender) { changes += sender == &list ? 1 : 100; };
  auto changed = [&] { expectedChanges += depth == 0; };
  auto less = [&](const std::string& a, const std::string& b) {
    return Fold(a, caseSensitive) < Fold(b, caseSensitive);
  };
  auto sortModel = [&] {
    std::stable_sort(model.begin(), model.end(), less);
    changed();
  };
  for (int step = 0; step < 5000; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const int n = static_cast<int>(model.size());
    const std::string line = pick(keys) + pick(tails);
    const int i = static_cast<int>(rng() % (n + 3)) - 1;  // from -1 to n + 1
    const std::string badIndex = "List index out of bounds (" + std::to_string(i) + ")";
    const std::string onSorted = "Operation not allowed on sorted list";
    switch (rng() % 12) {
      case 0:
      case 1: {
        int got = -1;
        std::string error = Try([&] { got = list.Add(line); });
        auto at = sorted ? std::upper_bound(model.begin(), model.end(), line, less) : model.end();
        auto equal = std::find_if(model.begin(), model.end(), [&](const std::string& m) {
          return Fold(m, caseSensitive) == Fold(line, caseSensitive);
        });
        if (sorted && equal != model.end() && duplicates == TStringList::TDuplicates::dupError) {
          ASSERT_EQ(error, "String list does not allow duplicates");
        } else if (sorted && equal != model.end() && duplicates == TStringList::TDuplicates::dupIgnore) {
          ASSERT_EQ(got, equal - model.begin());
        } else {
          ASSERT_EQ(got, at - model.begin());
          model.insert(at, line);
          changed();
        }
        break;
      }
      case 2:
        ASSERT_EQ(Try([&] { list.Insert(i, line); }), sorted ? onSorted : i < 0 || i > n ? badIndex : "");
        if (sorted || i < 0 || i > n) break;
        model.insert(model.begin() + i, line);
        changed();
        break;
      case 3:
      case 4:
        ASSERT_EQ(Try([&] { list.Delete(std::min(i, n - 1)); }),
                  n == 0 || i < 0 ? "List index out of bounds (-1)" : "");
        if (n == 0 || i < 0) break;
        model.erase(model.begin() + std::min(i, n - 1));
        changed();
        break;
      case 5:
      case 6:
        ASSERT_EQ(Try([&] { list.Get(i); }), i < 0 || i >= n ? badIndex : "");
        ASSERT_EQ(Try([&] { list.Put(i, line); }), sorted ? onSorted : i < 0 || i >= n ? badIndex : "");
        if (sorted || i < 0 || i >= n) break;
        model[static_cast<std::size_t>(i)] = line;
        changed();
        break;
      case 7:
        if (n > 0 && rng() % 30 != 0) break;
        list.Clear();
        if (n > 0) changed();
        model.clear();
        break;
      case 8:
        if (rng() % 2 != 0 && depth < 2) {
          list.BeginUpdate();
          ++depth;
        } else if (depth > 0) {
          list.EndUpdate();
          --depth;
          changed();
        }
        break;
      case 9:
        duplicates = static_cast<TStringList::TDuplicates>(rng() % 3);
        list.SetDuplicates(duplicates);
        if (rng() % 8 != 0) break;
        sorted = !sorted;
        list.SetSorted(sorted);
        if (sorted) sortModel();
        break;
      case 10:
        if (rng() % 8 != 0) break;
        caseSensitive = !caseSensitive;
        list.SetCaseSensitive(caseSensitive);
        if (sorted) sortModel();
        break;
      default: {
        if (sorted || rng() % 10 != 0) break;
        TStringList source;
        model.clear();
        for (int k = static_cast<int>(rng() % 4); k > 0; --k) {
          model.push_back(pick(keys));
          source.Add(model.back());
        }
        list.Assign(source);
        changed();
        ASSERT_TRUE(list.Equals(source));
      }
    }
    ASSERT_EQ(std::vector<AnsiString>(model.begin(), model.end()), list.ToVector());
    ASSERT_EQ(changes, expectedChanges);
    for (std::string probe : {pick(keys), pick(keys)}) {
      if (rng() % 2) probe = Fold(probe, false);
      int firstLine = -1, firstName = -1;
      for (int j = static_cast<int>(model.size()) - 1; j >= 0; --j) {
        const std::string& m = model[static_cast<std::size_t>(j)];
        if (Fold(m, caseSensitive) == Fold(probe, caseSensitive)) firstLine = j;
        if (m.find('=') != std::string::npos &&
            Fold(m.substr(0, m.find('=')), caseSensitive) == Fold(probe, caseSensitive))
          firstName = j;
      }
      SCOPED_TRACE("key '" + probe + "'");
      ASSERT_EQ(list.IndexOf(probe), firstLine);
      ASSERT_EQ(list.IndexOfName(probe), firstName);
      if (firstName < 0) {
        ASSERT_EQ(list.GetValue(probe), "");
        continue;
      }
      const std::string& named = model[static_cast<std::size_t>(firstName)];
      ASSERT_EQ(list.GetValue(probe).str(), named.substr(probe.size() + 1));  // after the first "="
      ASSERT_EQ(list.GetName(firstName).str(), named.substr(0, probe.size()));
    }
  }
}

}  // namespace
}  // namespace veravo
