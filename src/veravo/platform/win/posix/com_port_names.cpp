#include <veravo/platform/win/posix/com_port_names.h>
#include <veravo/platform/win/win_api.h>

#include <cctype>
#include <map>
#include <mutex>

namespace veravo::win {
namespace detail {
namespace {

struct ComMap {
  std::mutex lock;
  std::map<unsigned long, std::string> devices;  // by COM number
};

ComMap& TheComMap() {
  static ComMap* map = new ComMap;  // never destroyed
  return *map;
}

// The number n of "COMn" or "\\.\COMn" in any case, or 0.
unsigned long ComNumber(const std::string& name) {
  std::string rest = name;
  if (rest.rfind("\\\\.\\", 0) == 0) rest = rest.substr(4);
  if (rest.size() < 4) return 0;
  for (int i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(rest[i])) != "COM"[i]) return 0;
  }
  unsigned long number = 0;
  for (std::size_t i = 3; i < rest.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return 0;
    number = number * 10 + static_cast<unsigned long>(rest[i] - '0');
    if (number > 1000000) return 0;
  }
  return number;
}

}  // namespace

std::optional<std::string> ResolveCommDevicePath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  unsigned long number = ComNumber(name);
  if (number == 0) return std::nullopt;
  ComMap& map = TheComMap();
  std::lock_guard<std::mutex> guard(map.lock);
  auto it = map.devices.find(number);
  if (it != map.devices.end()) return it->second;
  return "/dev/ttyS" + std::to_string(number - 1);
}

}  // namespace detail

BOOL MapComPort(LPCSTR comName, LPCSTR device) {
  unsigned long number = comName ? detail::ComNumber(comName) : 0;
  if (number == 0 || (device != nullptr && device[0] == '\0')) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  detail::ComMap& map = detail::TheComMap();
  std::lock_guard<std::mutex> guard(map.lock);
  if (device == nullptr) {
    map.devices.erase(number);
  } else {
    map.devices[number] = device;
  }
  return TRUE;
}

}  // namespace veravo::win
