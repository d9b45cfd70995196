// Makes a simulated device from its text form, as used in "sim:" line names:
//   FAMILY[?KEY=VALUE&KEY=VALUE...]
//   reply:HEX[@MS][?...]
// FAMILY: printer, display, door, sbq, hdg, board, hy, crt, ups, modem, echo,
// silent. Keys: mode=normal|wrongcheck|late|split|silent, delay=MS (normal
// response time), late=MS, gap=MS (between the pieces of a split reply),
// frame=MS (quiet time that ends a command, default 20),
// addr=HH (multi-drop address answered), ack=0|1, reply=HEX (fixed reply
// body), text=TEXT (fixed reply text; %HH stands for a byte).
#pragma once

#include <veravo/sim/devices/sim_device.h>

#include <memory>
#include <string>

namespace veravo::sim {

// Null for an unknown family or a setting it cannot read (*error says why).
std::unique_ptr<SimDevice> MakeSimDevice(const std::string& description, std::string* error = nullptr);

}  // namespace veravo::sim
