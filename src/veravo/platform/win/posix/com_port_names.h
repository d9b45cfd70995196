// How a file name of CreateFileA becomes a device path: "COMn" and
// "\\.\COMn" (any case, n >= 1) name the device mapped with MapComPort, else
// /dev/ttyS{n-1}; a name starting with "/" is a path already.
#pragma once

#include <optional>
#include <string>

namespace veravo::win::detail {

// The device path for a file name, or nothing when the name is neither a
// COM name nor a path.
std::optional<std::string> ResolveCommDevicePath(const std::string& name);

}  // namespace veravo::win::detail
