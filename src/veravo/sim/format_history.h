// The line formats a sender or receiver used over time, so that a character
// can be given the format that was in force at the moment it started to leave
// (or finished arriving), even when that moment is worked out later.
#pragma once

#include <veravo/sim/line_format.h>

#include <chrono>
#include <utility>
#include <vector>

namespace veravo::sim {

class FormatHistory {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  explicit FormatHistory(LineFormat initial = {}) { changes_.push_back({TimePoint::min(), initial}); }

  void Set(TimePoint when, const LineFormat& format) { changes_.push_back({when, format}); }
  const LineFormat& Current() const { return changes_.back().second; }

  // The format in force at `when`: the last change made at or before it.
  const LineFormat& At(TimePoint when) const {
    for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
      if (it->first <= when) return it->second;
    }
    return changes_.front().second;
  }

  // Forgets changes that no lookup at or after `horizon` can reach.
  void Prune(TimePoint horizon) {
    std::size_t keep = 0;
    while (keep + 1 < changes_.size() && changes_[keep + 1].first <= horizon) ++keep;
    if (keep > 0) changes_.erase(changes_.begin(), changes_.begin() + static_cast<std::ptrdiff_t>(keep));
  }

  std::size_t size() const { return changes_.size(); }

 private:
  std::vector<std::pair<TimePoint, LineFormat>> changes_;
};

}  // namespace veravo::sim
