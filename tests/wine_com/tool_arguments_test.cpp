// The Windows build of the tool, started the way a user starts it: arguments
// starting with "/" are data there too, never Windows-style options.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>

namespace {

struct ToolRun {
  std::string output;  // standard output and standard error together
  int exitCode = -1;
};

ToolRun RunTool(const std::string& args) {
  std::string path = VERAVO_TOOL_PATH;
  // Under Wine a path of the build machine lies on drive Z:.
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  ToolRun run;
  FILE* pipe = _popen((path + " " + args + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buf[256];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) run.output.append(buf, n);
  run.exitCode = _pclose(pipe);
  return run;
}

TEST(ToolArguments, SlashArgumentsAreData) {
  const std::tuple<const char*, int, const char*> cases[] = {
      {"run /data/script.txt", 2, "error: cannot read /data/script.txt\n"},
      {"call --open none XorChar /ABC", 0, "\"\\n\"\n"},
  };
  for (const auto& [args, exitCode, output] : cases) {
    ToolRun r = RunTool(args);
    EXPECT_EQ(r.exitCode, exitCode) << args;
    EXPECT_EQ(r.output, output) << args;
  }
}

}  // namespace
