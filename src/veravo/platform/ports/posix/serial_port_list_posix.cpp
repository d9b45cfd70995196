#include <veravo/platform/ports/serial_port_list.h>

namespace veravo {

std::vector<SerialPortInfo> ListSerialPorts() { return ListSerialPortsIn("/dev", "/sys/class/tty"); }

}  // namespace veravo
