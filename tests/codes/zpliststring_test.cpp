#include <gtest/gtest.h>
#include <veravo/codes/zpliststring.h>
#include <veravo/platform/vcl/exception.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace veravo {
namespace {

// Random additions, code updates and removals applied to the list and to a
// vector of (value, code) pairs: keys are trimmed when stored and looked up,
// letter case matters, an updated code is stored as given, removals take
// every match and only the upper end of an index is guarded.
TEST(ValueCodeList, AgreesWithAVectorOfPairsThroughRandomEdits) {
  const std::vector<std::string> words = {"Apple", "  Apple\t", "apple", "09", " 09 ", "", "\nA"};
  std::mt19937 rng(15);
  auto pick = [&] { return words[rng() % words.size()]; };
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(" \t\n"));
    return s.erase(s.find_last_not_of(" \t\n") + 1);
  };
  TZPListString list(Application);
  std::vector<std::pair<std::string, std::string>> model;  // value, code
  auto first = [&](bool byCode, const std::string& key) {
    for (const auto& [value, code] : model)
      if ((byCode ? code : value) == trim(key)) return byCode ? value : code;
    return std::string();
  };
  for (int step = 0; step < 3000; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const std::string a = pick(), b = pick();
    const int n = static_cast<int>(model.size()), i = static_cast<int>(rng() % (n + 2));
    const bool byCode = rng() % 2;
    switch (rng() % 6) {
      case 0:
      case 1:
        list.AddValue(a, b);
        model.push_back({trim(a), trim(b)});
        break;
      case 2:
        list.UpdateCode(a, b);
        for (auto& m : model) m.second = m.first == trim(a) ? b : m.second;
        break;
      case 3:
        ASSERT_TRUE(byCode ? list.DelCode(a) : list.DelValue(a));
        std::erase_if(model, [&](const auto& m) { return (byCode ? m.second : m.first) == trim(a); });
        break;
      case 4:
        list.DelInt(i);
        if (i < n) model.erase(model.begin() + i);
        break;
      default:
        if (rng() % 20 != 0) break;
        ASSERT_TRUE(list.Clear());
        model.clear();
    }
    ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
    for (int k = 0; k <= list.Count(); ++k) {
      const bool inside = k < list.Count();
      ASSERT_EQ(list.GetIntValue(k).str(), inside ? model[k].first : "");
      ASSERT_EQ(list.GetIntCode(k).str(), inside ? model[k].second : "");
    }
    ASSERT_EQ(list.GetCode(a).str(), first(false, a));
    ASSERT_EQ(list.GetValue(b).str(), first(true, b));
  }
  EXPECT_THROW(list.GetIntValue(-1), EStringListError);
  EXPECT_THROW(list.GetIntCode(-1), EStringListError);
  EXPECT_THROW(list.DelInt(-1), EStringListError);
}

}  // namespace
}  // namespace veravo
