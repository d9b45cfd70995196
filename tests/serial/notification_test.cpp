// Arriving bytes announced to host windows. (Destroying a port from the
// thread that owns a notified window, while the receive thread's send waits
// on it, is the fault suite's DestroyInNotification.)
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>
#include <veravo/serial/_SerialPort.h>
#include <veravo/sim/virtual_line.h>

#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/handler_window.h"
#include "support/wait.h"

namespace veravo {
namespace {

using test::WaitUntil;
using Handler = test::WindowHandler;

// Both parameters carry the port number: the one passed on, or 999 when they differ.
win::WPARAM PortNumber(win::WPARAM wParam, win::LPARAM lParam) {
  return wParam == static_cast<win::WPARAM>(lParam) ? wParam : 999;
}

// Takes the messages sent to this thread's windows.
void Pump() {
  win::MSG msg;
  while (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) win::DispatchMessageA(&msg);
}

// Every listed window class present is told, the numbered ones with the
// port number in both parameters: 1 to 9 for exactly COM1 to COM9, else 0.
// (Sent from the test thread to its own windows, the message is handled at
// once; the receive thread sends it in the case below.)
TEST(HostNotification, ListedWindowsGetTheMessageWithThePortNumberWhereDue) {
  const char* classes[] = {"TDXGetMain", "TDXSendMain", "TSBQTestForm",
                           "TTextForm",  "TPrintForm",  "TNotListed"};
  std::map<std::string, std::vector<win::WPARAM>> seen;
  std::vector<Handler> handlers;
  handlers.reserve(std::size(classes));
  std::vector<win::HWND> windows;
  for (const char* c : classes) {
    handlers.push_back([&seen, c](win::HWND, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
      if (msg == SerialPort::DataArrivedMessage) seen[c].push_back(PortNumber(wParam, lParam));
      return 0;
    });
    windows.push_back(test::HandlerWindow(c, &handlers.back()));
  }
  SerialPort port("no-such-port", nullptr);
  for (const char* name : {"COM1", "COM9", "COM10", "com3", "COM3x", static_cast<const char*>(nullptr)})
    port.NotifyHostWindows(name);
  using V = std::vector<win::WPARAM>;
  const V numbered{1, 9, 0, 0, 0, 0}, plain(6, 0);
  EXPECT_EQ(seen, (decltype(seen){{"TDXGetMain", numbered},
                                  {"TDXSendMain", numbered},
                                  {"TSBQTestForm", numbered},
                                  {"TTextForm", plain},
                                  {"TPrintForm", plain}}));
  for (win::HWND window : windows) win::DestroyWindow(window);
}

// Bytes already waiting in the driver when the receive thread starts are
// taken by reads that complete at once. When they fill the receive queue,
// the host must still be told: a host that reads only when told would
// otherwise never read, and the port would stop receiving for good.
TEST(HostNotification, QueueFilledByReadsCompletingAtOnceIsAnnounced) {
  class LateStartPort : public SerialPort {
   public:
    explicit LateStartPort(const char* name) : SerialPort(name, "115200,N,8,1", DeferThreads{}) {}
    ~LateStartPort() override { StopThreads(); }
    using SerialPort::StartThreads;
  };
  auto line = sim::VirtualLine::create("vl-full");
  line->device().SetFollowHost(true);
  LateStartPort port("vl-full");
  ASSERT_EQ(port.Status, 0);
  std::string taken;
  Handler take = [&](win::HWND, win::UINT msg, win::WPARAM, win::LPARAM) -> win::LRESULT {
    if (msg != SerialPort::DataArrivedMessage) return 0;
    char buffer[SerialPort::QueueCapacity + 1];
    port.TakeReceived(buffer, SerialPort::QueueCapacity);
    taken.append(buffer, port.ByteCount);
    return 0;
  };
  win::HWND window = test::HandlerWindow("TTextForm", &take);
  std::string sent(SerialPort::QueueCapacity, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7 + i / 256);
  line->device().Write(sent);
  win::COMSTAT stat{};
  ASSERT_TRUE(WaitUntil([&] {
    win::DWORD errors = 0;
    return win::ClearCommError(port.Device, &errors, &stat) && stat.cbInQue == sent.size();
  }));
  port.StartThreads();
  EXPECT_TRUE(WaitUntil([&] { return Pump(), taken.size() >= sent.size(); }))
      << "the host was told of " << taken.size() << " bytes; queued: " << port.ReceiveUsed();
  EXPECT_TRUE(taken == sent) << "the host did not get the bytes sent, in order";
  win::DestroyWindow(window);
}

}  // namespace
}  // namespace veravo
