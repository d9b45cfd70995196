#include <veravo/platform/ports/serial_port_list.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace veravo {
namespace {

namespace fs = std::filesystem;

// The first line of a small sysfs attribute file, or "" when unreadable.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return "";
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

bool IsSerialName(const std::string& name) {
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
    std::string p(prefix);
    if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(p.size()), name.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
      return true;
    }
  }
  return false;
}

// Orders names with their digit runs compared as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      std::size_t ei = i;
      std::size_t ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      unsigned long long na = std::stoull(a.substr(i, ei - i));
      unsigned long long nb = std::stoull(b.substr(j, ej - j));
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// Fills driver, USB ids and description from the sysfs entry of a tty.
// Returns false for a ttyS entry without a real UART.
bool Describe(const std::string& name, const fs::path& sysEntry, SerialPortInfo* info) {
  std::error_code ec;
  fs::path deviceLink = sysEntry / "device";
  const bool uart = name.compare(0, 4, "ttyS") == 0;
  if (!fs::exists(deviceLink, ec)) {
    if (uart) return false;  // a placeholder without hardware
    info->description = "USB serial device";
    return true;
  }
  if (uart) {
    std::string type = ReadAttribute(sysEntry / "type");
    if (type.empty() || type == "0") return false;
  }
  fs::path device = fs::canonical(deviceLink, ec);
  if (ec) device = deviceLink;
  fs::path driverLink = device / "driver";
  if (fs::exists(driverLink, ec)) info->driver = fs::canonical(driverLink, ec).filename().string();
  // The USB device is the nearest ancestor with vendor and product ids.
  for (fs::path dir = device; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec)) {
      info->usbVendorId = ReadAttribute(dir / "idVendor");
      info->usbProductId = ReadAttribute(dir / "idProduct");
      std::string manufacturer = ReadAttribute(dir / "manufacturer");
      std::string product = ReadAttribute(dir / "product");
      info->description = manufacturer.empty() ? product
                          : product.empty()    ? manufacturer
                                               : manufacturer + " " + product;
      break;
    }
  }
  if (info->description.empty()) {
    info->description = uart ? "Serial port" : "USB serial device";
  }
  return true;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPortsIn(const std::string& devDir, const std::string& sysClassTtyDir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(devDir, ec)) {
    std::string name = entry.path().filename().string();
    if (IsSerialName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  std::vector<SerialPortInfo> ports;
  for (const std::string& name : names) {
    SerialPortInfo info;
    info.path = (fs::path(devDir) / name).string();
    if (Describe(name, fs::path(sysClassTtyDir) / name, &info)) ports.push_back(std::move(info));
  }
  return ports;
}

}  // namespace veravo
