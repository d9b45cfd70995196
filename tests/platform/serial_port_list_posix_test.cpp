// Listing serial ports from /dev and sysfs, over a made-up tree.
#include <gtest/gtest.h>
#include <unistd.h>
#include <veravo/platform/ports/serial_port_list.h>

#include <filesystem>
#include <fstream>

namespace veravo {
namespace {

namespace fs = std::filesystem;

class SerialPortListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("veravo-ports-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "dev");
    fs::create_directories(root_ / "class");
    fs::create_directories(root_ / "devices");
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  }
  // A tty with a device directory bound to `driver`.
  fs::path AddTty(const std::string& name, const std::string& devicePath, const std::string& driver) {
    Write(root_ / "dev" / name, "");
    fs::path device = root_ / "devices" / devicePath;
    fs::create_directories(device);
    fs::create_directories(root_ / "drivers" / driver);
    fs::create_directory_symlink(root_ / "drivers" / driver, device / "driver");
    fs::create_directories(root_ / "class" / name);
    fs::create_directory_symlink(device, root_ / "class" / name / "device");
    return device;
  }
  std::vector<SerialPortInfo> List() {
    return ListSerialPortsIn((root_ / "dev").string(), (root_ / "class").string());
  }

  fs::path root_;
};

TEST_F(SerialPortListTest, FindsUartsAndUsbAdaptersWithTheirIds) {
  EXPECT_TRUE(List().empty());
  EXPECT_TRUE(ListSerialPortsIn((root_ / "nowhere").string(), (root_ / "nothing").string()).empty());
  AddTty("ttyS10", "platform/serial8250/10", "serial8250");
  Write(root_ / "class/ttyS10/type", "4");
  AddTty("ttyS2", "pnp/00:05", "serial");
  Write(root_ / "class/ttyS2/type", "4");
  AddTty("ttyS3", "platform/serial8250/3", "serial8250");
  Write(root_ / "class/ttyS3/type", "0");  // no UART behind it
  Write(root_ / "dev/ttyS4", "");          // no sysfs device at all
  AddTty("ttyUSB0", "usb1/1-2/1-2:1.0/ttyUSB0", "ftdi_sio");
  Write(root_ / "devices/usb1/1-2/idVendor", "0403");
  Write(root_ / "devices/usb1/1-2/idProduct", "6001");
  Write(root_ / "devices/usb1/1-2/manufacturer", "Acme");
  Write(root_ / "devices/usb1/1-2/product", "USB Serial");
  AddTty("ttyACM0", "usb2/2-1/2-1:1.0", "cdc_acm");
  Write(root_ / "devices/usb2/2-1/idVendor", "2341");
  Write(root_ / "devices/usb2/2-1/idProduct", "0043");
  Write(root_ / "dev/tty0", "");  // not a serial device name
  Write(root_ / "dev/ttySX", "");

  // Each port as "name driver vendor:product description".
  std::vector<std::string> seen;
  for (const SerialPortInfo& p : List()) {
    seen.push_back(fs::path(p.path).filename().string() + " " + p.driver + " " + p.usbVendorId + ":" +
                   p.usbProductId + " " + p.description);
  }
  const std::vector<std::string> want = {"ttyACM0 cdc_acm 2341:0043 USB serial device",
                                         "ttyS2 serial : Serial port", "ttyS10 serial8250 : Serial port",
                                         "ttyUSB0 ftdi_sio 0403:6001 Acme USB Serial"};
  EXPECT_EQ(seen, want);
}

}  // namespace
}  // namespace veravo
