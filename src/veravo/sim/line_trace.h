// The record of everything that crossed a virtual line: every character with
// its format and parity bit, and the events (breaks, line errors, modem
// lines, opens, closes, unplugging).
#pragma once

#include <veravo/sim/line_format.h>

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace veravo::sim {

enum class TraceDir {
  kTx,  // from the host towards the device
  kRx,  // from the device towards the host
};

enum class TraceKind { kByte, kBreak, kLineError, kModemLine, kControlLine, kOpen, kClose, kUnplug, kReplug };

struct TraceEntry {
  double tMs = 0;  // when the character started to leave, or the event happened; ms since line creation
  TraceDir dir = TraceDir::kTx;
  TraceKind kind = TraceKind::kByte;
  int value = -1;      // the character, -1 for events
  LineFormat format;   // the format the character was sent with
  int parityBit = -1;  // the parity bit sent, -1 for none
  std::string note;    // event detail, e.g. "CTS on", "CE_FRAME", "250 ms"
};

// One line of text per entry, e.g. "   12.345 tx 0A 9600,M,8,1 p1" or
// "   20.000 rx break 250 ms".
std::string FormatTraceEntry(const TraceEntry& entry);

// A bounded trace: beyond its limit the oldest entries are dropped (and
// counted). Sessions in which nothing crossed the line (an open directly
// followed by its close) that follow one another are kept as one: the
// first open, and the last close with the number of sessions in its note,
// so that a line opened and closed over and over does not grow its trace.
// Not locked: its owner serialises access.
class LineTrace {
 public:
  explicit LineTrace(std::size_t limit = 200000) : limit_(limit) {}
  void Add(TraceEntry entry);
  // Entries in wire order (by time; entries of one time in the order added).
  std::vector<TraceEntry> Snapshot() const;
  std::size_t dropped() const { return dropped_; }
  void SetLimit(std::size_t limit);

 private:
  std::size_t limit_;
  std::size_t dropped_ = 0;
  std::size_t idleSessions_ = 0;  // sessions folded into the last close
  std::deque<TraceEntry> entries_;
};

}  // namespace veravo::sim
