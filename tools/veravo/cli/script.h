// The call scripts of `veravo run`: one call per line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veravo::cli {

struct ScriptCall {
  int line = 0;  // 1-based line number in the script
  std::string method;
  std::optional<std::string> arg;  // the rest of the line after the first blank, verbatim
};

// Splits a script into calls: `METHOD` or `METHOD ARG`, ARG being the rest of
// the line after the first blank, taken verbatim (commas, quotes and blanks
// kept; a carriage return before the line end is dropped). Empty lines and
// lines starting with '#' are skipped.
std::vector<ScriptCall> ParseScript(std::string_view text);

}  // namespace veravo::cli
