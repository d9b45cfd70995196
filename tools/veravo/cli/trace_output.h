// Wire traces of a virtual line for people and programs: JSON lines and a
// timing picture (SVG).
#pragma once

#include <veravo/sim/line_trace.h>

#include <string>
#include <vector>

namespace veravo::cli {

// Milliseconds of the first open of the host end in the trace (0 when the
// trace holds none): the origin of the times written below.
double TraceOrigin(const std::vector<sim::TraceEntry>& trace);

// One JSON object per line, in wire order:
//   {"t_ms": 12.345, "dir": "tx", "byte": "0A", "format": "9600,M,8,1", "parity_bit": 1}
// ("parity_bit" absent where the format has none) and for events
//   {"t_ms": 20.000, "dir": "rx", "event": "break", "detail": "250 ms"}.
std::string TraceJsonLines(const std::vector<sim::TraceEntry>& trace);

// A timing picture: one lane per direction, every character a box as long
// as it took on the wire, coloured by its parity bit (mark, space, none) and
// labelled with its hex value and printable character; quiet stretches
// longer than a few characters are shortened and labelled with their length,
// so pauses stay visible without stretching the picture; events as markers.
std::string TraceSvg(const std::vector<sim::TraceEntry>& trace, const std::string& title);

}  // namespace veravo::cli
