// Command-line parsing rules shared by every command of the tool.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>

namespace veravo::cli {

// Arguments are data, passed exactly as given on every platform: an argument
// starting with "/" (a path, hex text) is never taken for a Windows-style
// option. Applies to `app` and every command below it.
void ArgumentsAreData(CLI::App& app);

// Reports a failed parse and returns the exit code (0 for --help, 2 for any
// error). Arguments a command did not expect are named, each unknown option
// as such, followed by the usage and options of the command they were given
// to; other errors are reported as the parser words them.
int ReportParseError(CLI::App& app, const CLI::ParseError& error, std::ostream& out, std::ostream& err);

}  // namespace veravo::cli
