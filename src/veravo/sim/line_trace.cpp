#include <veravo/sim/line_trace.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace veravo::sim {

std::string FormatTraceEntry(const TraceEntry& e) {
  static constexpr const char* kKind[] = {"byte", "break", "error",  "modem", "control",
                                          "open", "close", "unplug", "replug"};
  char head[48];
  std::snprintf(head, sizeof head, "%10.3f %s ", e.tMs, e.dir == TraceDir::kTx ? "tx" : "rx");
  std::string out = head;
  if (e.kind == TraceKind::kByte) {
    char value[8];
    std::snprintf(value, sizeof value, "%02X ", e.value & 0xFF);
    out += value;
    out += e.format.Text();
    if (e.parityBit >= 0) out += e.parityBit ? " p1" : " p0";
  } else {
    out += kKind[static_cast<int>(e.kind)];
    if (!e.note.empty()) out += " " + e.note;
  }
  return out;
}

void LineTrace::Add(TraceEntry entry) {
  const std::size_t n = entries_.size();
  if (entry.kind == TraceKind::kClose && n >= 3 && entries_[n - 1].kind == TraceKind::kOpen &&
      entries_[n - 2].kind == TraceKind::kClose && entries_[n - 3].kind == TraceKind::kOpen) {
    // Open, close, open, and now close again with nothing between.
    entries_.pop_back();
    TraceEntry& close = entries_.back();
    idleSessions_ = std::max<std::size_t>(idleSessions_, 1) + 1;
    close.tMs = entry.tMs;
    close.note = std::to_string(idleSessions_) + " idle sessions";
    return;
  }
  if (entry.kind == TraceKind::kClose) idleSessions_ = 0;
  entries_.push_back(std::move(entry));
  while (entries_.size() > limit_) {
    entries_.pop_front();
    ++dropped_;
  }
}

std::vector<TraceEntry> LineTrace::Snapshot() const {
  std::vector<TraceEntry> out(entries_.begin(), entries_.end());
  std::stable_sort(out.begin(), out.end(),
                   [](const TraceEntry& a, const TraceEntry& b) { return a.tMs < b.tMs; });
  return out;
}

void LineTrace::SetLimit(std::size_t limit) {
  limit_ = limit == 0 ? 1 : limit;
  while (entries_.size() > limit_) {
    entries_.pop_front();
    ++dropped_;
  }
}

}  // namespace veravo::sim
