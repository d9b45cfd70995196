// Runs the veravo executable as a user would, capturing what it prints.
#pragma once

#include <string>
#include <vector>

namespace veravo::testing {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the tool with `args`, feeding `input` on standard input.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "");

}  // namespace veravo::testing
