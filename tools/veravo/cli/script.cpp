#include "script.h"

namespace veravo::cli {

std::vector<ScriptCall> ParseScript(std::string_view text) {
  std::vector<ScriptCall> calls;
  int number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    bool last = end == std::string_view::npos;
    std::string_view line = text.substr(start, last ? std::string_view::npos : end - start);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() != '#') {
      ScriptCall call;
      call.line = number;
      std::size_t blank = line.find(' ');
      if (blank == std::string_view::npos) {
        call.method = std::string(line);
      } else {
        call.method = std::string(line.substr(0, blank));
        call.arg = std::string(line.substr(blank + 1));
      }
      calls.push_back(std::move(call));
    }
    if (last) break;
    start = end + 1;
  }
  return calls;
}

}  // namespace veravo::cli
