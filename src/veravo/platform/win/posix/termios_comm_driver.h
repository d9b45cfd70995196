// The comm driver for tty devices (serial ports, USB serial adapters,
// pseudo-terminals) through termios.
#pragma once

#include <veravo/platform/win/comm_driver.h>
#include <veravo/platform/win/win_types.h>

#include <memory>
#include <string>

namespace veravo::win::detail {

// Opens the tty at `path` exclusively. Returns 0 with *driver set, or
// ERROR_FILE_NOT_FOUND (no such device, or the file is not a tty) or
// ERROR_ACCESS_DENIED (in use, or no permission).
DWORD OpenTermiosCommDriver(const std::string& path, std::unique_ptr<CommDriver>* driver);

}  // namespace veravo::win::detail
