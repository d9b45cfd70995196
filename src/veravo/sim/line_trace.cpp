#include <veravo/sim/line_trace.h>

#include <algorithm>
#include <cstdio>

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
