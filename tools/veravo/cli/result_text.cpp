#include "result_text.h"

#include <veravo/platform/vcl/codepage.h>

#include <cstdio>

namespace veravo::cli {

namespace {

std::string Hex(unsigned char c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
  return buffer;
}

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsGbkTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

}  // namespace

std::string QuoteResult(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
      out += Hex(c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (IsGbkLead(c) && i + 1 < text.size() && IsGbkTrail(static_cast<unsigned char>(text[i + 1]))) {
      std::string utf8 = Cp936ToUtf8(text.substr(i, 2));
      if (utf8.find("\xEF\xBF\xBD") == std::string::npos) {
        out += utf8;
        ++i;
      } else {
        out += Hex(c);
      }
    } else {
      out += Hex(c);
    }
  }
  out += '"';
  return out;
}

std::string FormatResult(const CallResult& result) {
  struct Visitor {
    std::string operator()(NoResult) const { return "-"; }
    std::string operator()(const std::string& s) const { return QuoteResult(s); }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(long long n) const { return std::to_string(n); }
  };
  return std::visit(Visitor{}, result);
}

}  // namespace veravo::cli
