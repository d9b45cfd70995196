// Listing serial ports from /dev and sysfs, over a made-up tree.
#include <gtest/gtest.h>
#include <unistd.h>
#include <veravo/platform/ports/serial_port_list.h>

#include <filesystem>
#include <fstream>

namespace veravo {
namespace {

namespace fs = std::filesystem;

TEST(SerialPortListTest, FindsUartsAndUsbAdaptersWithTheirIds) {
  const fs::path root = fs::temp_directory_path() / ("veravo-ports-" + std::to_string(getpid()));
  fs::remove_all(root);
  EXPECT_TRUE(ListSerialPortsIn((root / "dev").string(), (root / "class").string()).empty());
  auto write = [&](const fs::path& file, const std::string& text) {
    fs::create_directories((root / file).parent_path());
    std::ofstream(root / file) << text << "\n";
  };
  // A tty with a device directory bound to `driver`.
  auto addTty = [&](const std::string& name, const std::string& devicePath, const std::string& driver) {
    write("dev" / fs::path(name), "");
    const fs::path device = root / "devices" / devicePath;
    fs::create_directories(device);
    fs::create_directories(root / "drivers" / driver);
    fs::create_directory_symlink(root / "drivers" / driver, device / "driver");
    fs::create_directories(root / "class" / name);
    fs::create_directory_symlink(device, root / "class" / name / "device");
  };
  addTty("ttyS10", "platform/serial8250/10", "serial8250");
  write("class/ttyS10/type", "4");
  addTty("ttyS2", "pnp/00:05", "serial");
  write("class/ttyS2/type", "4");
  addTty("ttyS3", "platform/serial8250/3", "serial8250");
  write("class/ttyS3/type", "0");  // no UART behind it
  write("dev/ttyS4", "");          // no sysfs device at all
  addTty("ttyUSB0", "usb1/1-2/1-2:1.0/ttyUSB0", "ftdi_sio");
  write("devices/usb1/1-2/idVendor", "0403");
  write("devices/usb1/1-2/idProduct", "6001");
  write("devices/usb1/1-2/manufacturer", "Acme");
  write("devices/usb1/1-2/product", "USB Serial");
  addTty("ttyACM0", "usb2/2-1/2-1:1.0", "cdc_acm");
  write("devices/usb2/2-1/idVendor", "2341");
  write("devices/usb2/2-1/idProduct", "0043");
  write("dev/tty0", "");  // not a serial device name
  write("dev/ttySX", "");

  // Each port as "name driver vendor:product description".
  std::vector<std::string> seen;
  for (const SerialPortInfo& p : ListSerialPortsIn((root / "dev").string(), (root / "class").string())) {
    seen.push_back(fs::path(p.path).filename().string() + " " + p.driver + " " + p.usbVendorId + ":" +
                   p.usbProductId + " " + p.description);
  }
  const std::vector<std::string> want = {"ttyACM0 cdc_acm 2341:0043 USB serial device",
                                         "ttyS2 serial : Serial port", "ttyS10 serial8250 : Serial port",
                                         "ttyUSB0 ftdi_sio 0403:6001 Acme USB Serial"};
  EXPECT_EQ(seen, want);
  fs::remove_all(root);
}

}  // namespace
}  // namespace veravo
