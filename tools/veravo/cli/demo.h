// `veravo demo`: a short tour of the library on the simulated devices.
#pragma once

#include <ostream>
#include <string>

namespace veravo::cli {

// Runs the tour, writing each step to `out`, and the timing picture of the
// printer and display lines to `svgPath`. Returns the exit code.
int RunDemo(const std::string& svgPath, std::ostream& out, std::ostream& err);

}  // namespace veravo::cli
