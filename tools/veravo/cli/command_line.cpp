#include "cli/command_line.h"

#include <string>
#include <vector>

namespace veravo::cli {
namespace {

// What the parser would have read as an option: "--name" or "-x", where a
// digit after a single dash makes a negative number, which is data.
bool LooksLikeOption(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  if (arg[1] == '-') return arg.size() > 2;
  return arg[1] < '0' || arg[1] > '9';
}

// The innermost command given on the line that was left with arguments it
// did not expect: its options are the ones meant.
CLI::App* CommandWithExtras(CLI::App& app) {
  CLI::App* found = &app;
  for (CLI::App* command = &app;;) {
    if (!command->remaining().empty()) found = command;
    std::vector<CLI::App*> given = command->get_subcommands();
    if (given.empty()) return found;
    command = given.back();
  }
}

std::string CommandName(const CLI::App& app, const CLI::App& command) {
  return &command == &app ? "veravo" : "veravo " + command.get_name();
}

}  // namespace

void ArgumentsAreData(CLI::App& app) {
  app.allow_windows_style_options(false);
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) ArgumentsAreData(*sub);
}

int ReportParseError(CLI::App& app, const CLI::ParseError& error, std::ostream& out, std::ostream& err) {
  if (dynamic_cast<const CLI::ExtrasError*>(&error) == nullptr) return app.exit(error, out, err) == 0 ? 0 : 2;
  CLI::App* command = CommandWithExtras(app);
  std::vector<std::string> unexpected = command->remaining();
  std::string name = CommandName(app, *command);
  // A value meant for an unknown option shifts the positionals after it, so
  // once an option is unknown the surplus positional says nothing more.
  bool unknownOption = false;
  for (const std::string& arg : unexpected) {
    if (!LooksLikeOption(arg)) continue;
    err << "error: unknown option " << arg << " for '" << name << "'\n";
    unknownOption = true;
  }
  if (!unknownOption) {
    for (const std::string& arg : unexpected)
      err << "error: unexpected argument '" << arg << "' for '" << name << "'\n";
  }
  // The formatter itself: App::help would show the help of the command given
  // last, not of the one the unknown option was given to.
  err << "\n" << command->get_formatter()->make_help(command, name, CLI::AppFormatMode::Normal);
  return 2;
}

}  // namespace veravo::cli
