#include "trace_output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>

namespace veravo::cli {

namespace {

std::string Fixed3(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", v);
  return buffer;
}

std::string Fixed1(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", v);
  return buffer;
}

std::string Hex2(int v) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02X", v & 0xFF);
  return buffer;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string XmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

const char* EventName(sim::TraceKind kind) {
  switch (kind) {
    case sim::TraceKind::kByte:
      return "byte";
    case sim::TraceKind::kBreak:
      return "break";
    case sim::TraceKind::kLineError:
      return "line_error";
    case sim::TraceKind::kModemLine:
      return "modem_line";
    case sim::TraceKind::kControlLine:
      return "control_line";
    case sim::TraceKind::kOpen:
      return "open";
    case sim::TraceKind::kClose:
      return "close";
    case sim::TraceKind::kUnplug:
      return "unplug";
    case sim::TraceKind::kReplug:
      return "replug";
  }
  return "event";
}

}  // namespace

double TraceOrigin(const std::vector<sim::TraceEntry>& trace) {
  for (const sim::TraceEntry& e : trace) {
    if (e.kind == sim::TraceKind::kOpen) return e.tMs;
  }
  return 0;
}

std::string TraceJsonLines(const std::vector<sim::TraceEntry>& trace) {
  double origin = TraceOrigin(trace);
  std::string out;
  for (const sim::TraceEntry& e : trace) {
    out += "{\"t_ms\": " + Fixed3(e.tMs - origin) + ", \"dir\": \"" +
           (e.dir == sim::TraceDir::kTx ? "tx" : "rx") + "\"";
    if (e.kind == sim::TraceKind::kByte) {
      out += ", \"byte\": \"" + Hex2(e.value) + "\", \"format\": " + JsonString(e.format.Text());
      if (e.parityBit >= 0) out += ", \"parity_bit\": " + std::to_string(e.parityBit);
    } else {
      out += ", \"event\": \"" + std::string(EventName(e.kind)) + "\"";
      if (!e.note.empty()) out += ", \"detail\": " + JsonString(e.note);
    }
    out += "}\n";
  }
  return out;
}

std::string TraceSvg(const std::vector<sim::TraceEntry>& trace, const std::string& title) {
  // Horizontal layout: time runs left to right on one axis shared by both
  // lanes. A character's box is as wide as its time on the wire (at least
  // kMinBox pixels); a quiet stretch longer than kGapLimitMs is drawn
  // kGapPixels wide with its length written on it.
  constexpr double kPixelsPerMs = 24.0;
  constexpr double kMinBox = 30.0;
  constexpr double kGapLimitMs = 3.0;
  constexpr double kGapPixels = 46.0;
  constexpr double kLeft = 60.0;
  constexpr double kTxY = 50.0, kRxY = 120.0, kLaneH = 40.0;

  std::vector<const sim::TraceEntry*> items;
  for (const sim::TraceEntry& e : trace) items.push_back(&e);
  double origin = TraceOrigin(trace);

  // Map each entry's start time to x, walking the merged stream in time
  // order and advancing a cursor.
  std::ostringstream body;
  double x = kLeft;
  double lastEndMs = items.empty() ? 0 : items.front()->tMs;
  double lastEndX = kLeft;
  int boxes = 0;
  for (const sim::TraceEntry* e : items) {
    double start = e->tMs;
    double gap = start - lastEndMs;
    if (gap > kGapLimitMs) {
      x = lastEndX + kGapPixels;
      body << "<g class=\"pause\"><line x1=\"" << lastEndX + 4 << "\" y1=\"100\" x2=\"" << x - 4
           << "\" y2=\"100\" stroke=\"#999\" stroke-dasharray=\"3,3\"/><text x=\"" << (lastEndX + x) / 2
           << "\" y=\"104\" font-size=\"9\" text-anchor=\"middle\" fill=\"#666\">+" << Fixed1(gap)
           << " ms</text></g>\n";
    } else if (gap > 0) {
      x = lastEndX + gap * kPixelsPerMs;
    } else {
      x = std::max(x, lastEndX);
    }
    double laneY = e->dir == sim::TraceDir::kTx ? kTxY : kRxY;
    if (e->kind == sim::TraceKind::kByte) {
      double durMs = std::chrono::duration<double, std::milli>(e->format.ByteTime()).count();
      double w = std::max(kMinBox, durMs * kPixelsPerMs);
      char p = e->format.parity;
      const char* fill = p == 'M' ? "#f4a261" : p == 'S' ? "#8ecae6" : p == 'N' ? "#dddddd" : "#b7e4c7";
      std::string parity =
          e->parityBit < 0 ? "none" : std::string(1, p) + " bit " + std::to_string(e->parityBit);
      std::string label = Hex2(e->value);
      std::string printable =
          (e->value >= 0x20 && e->value < 0x7F) ? std::string(1, static_cast<char>(e->value)) : "";
      body << "<g class=\"byte\"><title>" << Fixed3(start - origin) << " ms "
           << (e->dir == sim::TraceDir::kTx ? "tx" : "rx") << " " << label << " "
           << XmlEscape(e->format.Text()) << " parity " << parity << "</title>"
           << "<rect x=\"" << x << "\" y=\"" << laneY << "\" width=\"" << w - 2 << "\" height=\"" << kLaneH
           << "\" rx=\"3\" fill=\"" << fill << "\" stroke=\"#333\"/>"
           << "<text x=\"" << x + (w - 2) / 2 << "\" y=\"" << laneY + 17
           << "\" font-size=\"11\" font-family=\"monospace\" text-anchor=\"middle\">" << label << "</text>";
      if (!printable.empty()) {
        body << "<text x=\"" << x + (w - 2) / 2 << "\" y=\"" << laneY + 32
             << "\" font-size=\"10\" font-family=\"monospace\" text-anchor=\"middle\" fill=\"#444\">"
             << XmlEscape(printable) << "</text>";
      }
      body << "</g>\n";
      ++boxes;
      lastEndMs = start + durMs;
      lastEndX = x + w;
    } else {
      body << "<g class=\"event\"><line x1=\"" << x << "\" y1=\"" << laneY - 6 << "\" x2=\"" << x
           << "\" y2=\"" << laneY + kLaneH + 6 << "\" stroke=\"#c1121f\" stroke-width=\"2\"/><text x=\""
           << x + 3 << "\" y=\"" << laneY - 8 << "\" font-size=\"9\" fill=\"#c1121f\">" << EventName(e->kind);
      if (!e->note.empty()) body << ' ' << XmlEscape(e->note);
      body << "</text></g>\n";
      lastEndMs = std::max(lastEndMs, start);
      lastEndX = std::max(lastEndX, x + 4);
    }
  }
  double width = lastEndX + 40;
  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"200\" viewBox=\"0 0 "
      << width << " 200\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
      << "<text x=\"10\" y=\"20\" font-size=\"13\" font-family=\"sans-serif\">" << XmlEscape(title) << " — "
      << boxes << " characters</text>\n"
      << "<text x=\"10\" y=\"" << kTxY + 25 << "\" font-size=\"12\" font-family=\"sans-serif\">tx</text>\n"
      << "<text x=\"10\" y=\"" << kRxY + 25 << "\" font-size=\"12\" font-family=\"sans-serif\">rx</text>\n"
      << "<g class=\"legend\" font-size=\"10\" font-family=\"sans-serif\">"
      << "<rect x=\"10\" y=\"178\" width=\"12\" height=\"12\" fill=\"#f4a261\"/><text x=\"26\" "
         "y=\"188\">mark parity</text>"
      << "<rect x=\"100\" y=\"178\" width=\"12\" height=\"12\" fill=\"#8ecae6\"/><text x=\"116\" "
         "y=\"188\">space parity</text>"
      << "<rect x=\"200\" y=\"178\" width=\"12\" height=\"12\" fill=\"#dddddd\"/><text x=\"216\" "
         "y=\"188\">no parity</text>"
      << "<rect x=\"290\" y=\"178\" width=\"12\" height=\"12\" fill=\"#b7e4c7\"/><text x=\"306\" "
         "y=\"188\">even/odd parity</text></g>\n"
      << body.str() << "</svg>\n";
  return svg.str();
}

}  // namespace veravo::cli
