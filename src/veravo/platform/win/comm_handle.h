// Opening a comm handle over a given device backend. CreateFileA uses it for
// termios devices and virtual lines; tests use it with drivers of their own.
#pragma once

#include <veravo/platform/win/comm_driver.h>
#include <veravo/platform/win/win_types.h>

#include <memory>

namespace veravo::win {

// Wraps `driver` in a comm handle in its default state (9600,N,8,1, DTR and
// RTS on, no flow control, all time-outs 0, a 4096-byte input buffer, event
// mask 0) and attaches the driver. Returns INVALID_HANDLE_VALUE with the last
// error set when the driver refuses the default line settings.
HANDLE OpenCommHandle(std::unique_ptr<CommDriver> driver);

}  // namespace veravo::win
