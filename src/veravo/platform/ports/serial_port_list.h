// The serial devices present on this machine, as found under /dev and
// described by sysfs.
#pragma once

#include <string>
#include <vector>

namespace veravo {

struct SerialPortInfo {
  std::string path;          // for example /dev/ttyUSB0
  std::string driver;        // kernel driver, for example ftdi_sio or serial8250
  std::string usbVendorId;   // four hex digits for USB devices, else empty
  std::string usbProductId;  // four hex digits for USB devices, else empty
  std::string description;   // USB manufacturer and product, or a plain description
};

// Lists /dev/ttyS*, /dev/ttyUSB* and /dev/ttyACM* in natural order
// (ttyS2 before ttyS10). ttyS entries without a real UART behind them (no
// device link in sysfs, or UART type 0) are left out.
std::vector<SerialPortInfo> ListSerialPorts();

// The same over other directories in place of /dev and /sys/class/tty.
std::vector<SerialPortInfo> ListSerialPortsIn(const std::string& devDir, const std::string& sysClassTtyDir);

}  // namespace veravo
