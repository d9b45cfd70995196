// The tool's script parser: every call comes from one non-comment line, its
// method and argument put back together give that line.
#include <cli/script.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  auto calls = veravo::cli::ParseScript(text);
  std::vector<std::string> lines;
  std::size_t expected = 0;  // the lines that are neither empty nor comments
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    expected += (!line.empty() && line[0] != '#') ? 1 : 0;
    lines.push_back(line);
  }
  FUZZ_CHECK(calls.size() == expected);
  int previous = 0;
  for (const auto& c : calls) {
    FUZZ_CHECK(c.line > previous && c.line <= static_cast<int>(lines.size()));
    previous = c.line;
    FUZZ_CHECK(c.method + (c.arg ? " " + *c.arg : "") == lines[static_cast<std::size_t>(c.line - 1)]);
    FUZZ_CHECK(c.method.find(' ') == std::string::npos);
  }
  return 0;
}
