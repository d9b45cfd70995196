// `veravo call` and `veravo run`: a component on one port, a list of calls,
// their results, and the wire trace of a virtual line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "script.h"

namespace veravo::cli {

struct SessionOptions {
  std::string port;
  int baud = 9600;
  int sleepMs = 20;
  std::string open = "CreatePort";  // CreatePort, CreatNewPort, CreateSBQPort or none
  std::string traceFile;            // "-" for standard output (after the results)
  std::string traceSvgFile;
  bool deviceLog = false;  // print the simulated device's log after the calls (sim: ports)
};

// The open operations --open accepts.
const std::vector<std::string>& OpenOperations();

// Runs the calls; results go to `out` one line each, errors and message
// boxes to `err`. Returns the exit code: 0, 1 when a method raised (the
// calls after it are not run), 2 for an unknown method or a bad argument
// (checked before anything runs where possible).
int RunSession(const SessionOptions& options, const std::vector<ScriptCall>& calls, std::ostream& out,
               std::ostream& err);

}  // namespace veravo::cli
