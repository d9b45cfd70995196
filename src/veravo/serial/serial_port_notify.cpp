// Announcing arrived bytes to host windows.
#include <veravo/platform/win/win_api.h>
#include <veravo/serial/serial_port.h>

#include <cstring>

namespace veravo {

namespace {

// Windows told that bytes arrived, without the port number.
constexpr const char* kPlainReceivers[] = {"TLltjForm",    "TTextForm",     "TTBTestForm", "TPDShowForm",
                                           "TBMPShowForm", "TPJClientForm", "TPrintForm"};
// Windows told the port number (1 to 9 for COM1 to COM9, else 0).
constexpr const char* kNumberedReceivers[] = {"TDXSendMain", "TDXGetMain", "TSBQTestForm"};

int PortNumber(const char* portName) {
  if (portName == nullptr) return 0;
  char name[] = "COM1";
  for (int n = 1; n <= 9; ++n) {
    name[3] = static_cast<char>('0' + n);
    if (std::strcmp(portName, name) == 0) return n;
  }
  return 0;
}

}  // namespace

void SerialPort::NotifyHostWindows(const char* portName) {
  // Each class is looked up afresh: host windows come and go.
  for (const char* windowClass : kPlainReceivers) {
    if (win::HWND window = win::FindWindowA(windowClass, nullptr)) {
      win::SendMessageA(window, DataArrivedMessage, 0, 0);
    }
  }
  const int number = PortNumber(portName);
  for (const char* windowClass : kNumberedReceivers) {
    if (win::HWND window = win::FindWindowA(windowClass, nullptr)) {
      win::SendMessageA(window, DataArrivedMessage, static_cast<win::WPARAM>(number), number);
    }
  }
}

}  // namespace veravo
