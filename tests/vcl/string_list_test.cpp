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
  const std::vector<std::string> keys = {"a",  "B",        "ab",       "AB",    "",     " a",
                                         "a ", "\x81\x61", "\x81\x41", "\xFEz", "\xFEZ"};
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
  auto same = [&](const std::string& a, const std::string& b) { return !less(a, b) && !less(b, a); };
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
        auto equal = std::find_if(model.begin(), model.end(), [&](auto& m) { return same(m, line); });
        const bool refused =
            sorted && equal != model.end() && duplicates == TStringList::TDuplicates::dupError;
        const bool ignored =
            sorted && equal != model.end() && duplicates == TStringList::TDuplicates::dupIgnore;
        auto at = ignored  ? equal
                  : sorted ? std::upper_bound(model.begin(), model.end(), line, less)
                           : model.end();
        int got = -1;
        ASSERT_EQ(Try([&] { got = list.Add(line); }), refused ? "String list does not allow duplicates" : "");
        if (refused) break;
        ASSERT_EQ(got, at - model.begin());  // a sorted list adds after its equal lines
        if (ignored) break;
        model.insert(at, line);
        changed();
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
        break;
      default:
        if (rng() % 8 != 0) break;
        if (rng() % 2) {
          list.SetSorted(sorted = !sorted);
        } else {
          list.SetCaseSensitive(caseSensitive = !caseSensitive);
        }
        if (!sorted) break;
        std::stable_sort(model.begin(), model.end(), less);  // turned on, or its order changed
        changed();
    }
    ASSERT_EQ(std::vector<AnsiString>(model.begin(), model.end()), list.ToVector());
    ASSERT_EQ(changes, expectedChanges);
    for (std::string probe : {pick(keys), pick(keys)}) {
      if (rng() % 2) probe = Fold(probe, false);
      auto hit = std::find_if(model.begin(), model.end(), [&](auto& m) { return same(m, probe); });
      auto named = std::find_if(model.begin(), model.end(), [&](auto& m) {
        return m.find('=') != std::string::npos && same(m.substr(0, m.find('=')), probe);
      });
      const int firstLine = hit == model.end() ? -1 : static_cast<int>(hit - model.begin());
      const int firstName = named == model.end() ? -1 : static_cast<int>(named - model.begin());
      ASSERT_EQ(list.IndexOf(probe), firstLine);
      ASSERT_EQ(list.IndexOfName(probe), firstName);
      if (firstName < 0) {
        ASSERT_EQ(list.GetValue(probe), "");
        continue;
      }
      ASSERT_EQ(list.GetValue(probe).str(), named->substr(probe.size() + 1));  // after the first "="
      ASSERT_EQ(list.GetName(firstName).str(), named->substr(0, probe.size()));
    }
  }
}

}  // namespace
}  // namespace veravo
