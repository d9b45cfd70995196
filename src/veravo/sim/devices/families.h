// Constructors of the simulated device families, one source file each.
#pragma once

#include <veravo/sim/devices/sim_device.h>

#include <memory>
#include <vector>

namespace veravo::sim {

std::unique_ptr<SimDevice> MakePrinterDevice();  // multi-drop printer: addressed frames and raw text
std::unique_ptr<SimDevice> MakeDisplayDevice();  // multi-drop customer display
std::unique_ptr<SimDevice> MakeDoorDevice();     // door lock: 01 53 57 05 0D opens it
std::unique_ptr<SimDevice> MakeSbqDevice();      // SBQ: CRC framing at 8 data bits, XOR framing at 7E1
std::unique_ptr<SimDevice> MakeHdgDevice();      // HDG: address under mark parity, command, raw reply
std::unique_ptr<SimDevice> MakeBoardDevice();    // display board: blocks closed by 0x0E
std::unique_ptr<SimDevice> MakeHyDevice();       // HY: commands at N,8,1, raw reply
std::unique_ptr<SimDevice> MakeCrtDevice();      // CRT: command closed by XOR, reply header + body + XOR
std::unique_ptr<SimDevice> MakeUpsDevice();      // UPS: answers its reading, e.g. "230V\r"
std::unique_ptr<SimDevice> MakeModemDevice();    // AT-command modem with text-mode short messages
std::unique_ptr<SimDevice> MakeEchoDevice();     // answers every burst with itself
std::unique_ptr<SimDevice> MakeSilentDevice();   // logs what it receives, never answers
std::unique_ptr<SimDevice> MakeReplyDevice(std::vector<win::BYTE> reply, int delayMs);  // fixed reply

}  // namespace veravo::sim
