// The comm driver for network serial ports: a device server reached over
// TCP with the Telnet com-port option, named rfc2217://HOST:PORT.
#pragma once

#include <veravo/platform/win/comm_driver.h>
#include <veravo/platform/win/win_types.h>

#include <memory>
#include <string>
#include <vector>

namespace veravo::win {

// True for names of network serial ports (rfc2217://..., any case).
bool IsNetworkPortName(const std::string& name);

// Connects to the server (bounded by a connect time-out). Returns 0 with
// *driver set, ERROR_FILE_NOT_FOUND when the name is malformed or nobody
// answers, ERROR_ACCESS_DENIED when the server refuses the connection.
DWORD OpenNetworkCommDriver(const std::string& name, std::unique_ptr<CommDriver>* driver);

// What a server told about itself over its last (or current) connection
// through this process, by port name.
struct NetworkPortReport {
  bool known = false;      // a connection was made
  bool connected = false;  // still connected
  std::string signature;   // the server's SIGNATURE answer
  // Requests the server did not answer in time (the port went on without them).
  std::vector<std::string> unanswered;
};
NetworkPortReport NetworkPortReportOf(const std::string& name);

}  // namespace veravo::win
