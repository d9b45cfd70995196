// `veravo sim`: a simulated device on the master side of a new
// pseudo-terminal, so that any program can talk to it through the slave, or
// served to network serial port clients.
#pragma once

#include <atomic>
#include <ostream>
#include <string>

namespace veravo::cli {

struct PtySimOptions {
  std::string device;  // a device as the "sim:" names name it, e.g. "printer" or "reply:0102@5"
  std::string link;    // when set, a symbolic link to the slave path
  int baud = 9600;
  std::string rfc2217;  // when set, [HOST:]PORT to serve the device on over the network instead
};

// Prints the slave path (or the rfc2217:// name) on the first line of `out`, then one line per thing
// the device understood or answered, until `stop` becomes true. Returns the
// exit code (2 for an unknown device, 1 when the pseudo-terminal cannot be
// made).
int RunPtySim(const PtySimOptions& options, const std::atomic<bool>& stop, std::ostream& out,
              std::ostream& err);

}  // namespace veravo::cli
