// On Windows the serial devices are the values of the registry key
// HARDWARE\DEVICEMAP\SERIALCOMM: value names are driver objects such as
// \Device\Serial0, the data are the COM names.
#include <veravo/platform/ports/serial_port_list.h>
#include <windows.h>

#include <algorithm>

namespace veravo {
namespace {

// COM2 before COM10.
bool NaturalLess(const SerialPortInfo& a, const SerialPortInfo& b) {
  auto number = [](const std::string& name) {
    std::size_t i = name.find_first_of("0123456789");
    return i == std::string::npos ? 0ul : std::stoul(name.substr(i));
  };
  if (a.path.size() >= 3 && b.path.size() >= 3 && a.path.compare(0, 3, b.path, 0, 3) == 0)
    return number(a.path) < number(b.path);
  return a.path < b.path;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return ports;
  for (DWORD index = 0;; ++index) {
    char name[256];
    BYTE data[256];
    DWORD nameSize = sizeof name;
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    if (type != REG_SZ) continue;
    data[dataSize] = 0;
    SerialPortInfo info;
    info.path = reinterpret_cast<const char*>(data);
    info.driver = std::string(name, nameSize);
    info.description = info.driver;
    ports.push_back(info);
  }
  RegCloseKey(key);
  std::sort(ports.begin(), ports.end(), NaturalLess);
  return ports;
}

}  // namespace veravo
