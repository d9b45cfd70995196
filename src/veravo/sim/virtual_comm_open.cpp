// Opens the host end of a virtual line for the comm layer: a registered
// virtual name, or a "sim:DEVICE" name whose line is made on first open.
#include <veravo/platform/win/comm_driver.h>
#include <veravo/sim/devices/device_factory.h>
#include <veravo/sim/devices/sim_device.h>
#include <veravo/sim/virtual_line.h>

#include <cctype>

namespace veravo::win {

namespace {

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool OpenVirtualCommDriver(const std::string& name, std::unique_ptr<CommDriver>* driver, DWORD* error) {
  std::string bare = StartsWithNoCase(name, "\\\\.\\") ? name.substr(4) : name;
  std::shared_ptr<sim::VirtualLine> line = sim::VirtualLine::find(bare);
  if (!line && StartsWithNoCase(bare, "sim:")) {
    std::string description = bare.substr(4);
    line = sim::VirtualLine::FindOrCreateKept(bare, [&] { return sim::MakeSimDevice(description); });
    if (!line) {
      driver->reset();
      *error = ERROR_FILE_NOT_FOUND;
      return true;
    }
  }
  if (!line) return false;
  *error = line->OpenHost(driver);
  if (*error != 0) driver->reset();
  return true;
}

}  // namespace veravo::win
