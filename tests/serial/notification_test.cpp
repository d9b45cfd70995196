// Arriving bytes announced to host windows, and destroying a port from the
// thread that owns a notified window without deadlock.
#include <gtest/gtest.h>
#include <veravo/platform/win/win.h>
#include <veravo/sim/virtual_line.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "support/handler_window.h"
#include "support/hook_port.h"
#include "support/wait.h"

namespace veravo {
namespace {

using namespace std::chrono_literals;
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

// Opens `portName` on a line of that name while a host thread owns windows
// of `classes`; delivers one burst and returns the port numbers each class
// was sent.
std::map<std::string, std::vector<win::WPARAM>> OneBurst(const char* portName,
                                                         std::vector<const char*> classes) {
  std::mutex m;
  std::map<std::string, std::vector<win::WPARAM>> seen;
  std::vector<Handler> handlers;
  for (const char* c : classes)
    handlers.push_back([&, c](win::HWND, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
      std::lock_guard<std::mutex> lock(m);
      if (msg == SerialPort::DataArrivedMessage) seen[c].push_back(PortNumber(wParam, lParam));
      return 0;
    });
  std::atomic<win::HWND> first{nullptr};
  std::thread host([&] {
    for (std::size_t i = 0; i < classes.size(); ++i) test::HandlerWindow(classes[i], &handlers[i]);
    first = win::FindWindowA(classes[0], nullptr);
    win::MSG msg;
    while (win::GetMessageA(&msg, nullptr, 0, 0)) win::DispatchMessageA(&msg);
    for (const char* c : classes) win::DestroyWindow(win::FindWindowA(c, nullptr));
  });
  WaitUntil([&] { return first.load() != nullptr; });
  {
    auto line = sim::VirtualLine::create(portName);
    line->device().SetFollowHost(true);
    SerialPort port(portName, "115200,N,8,1");
    WaitUntil([&] { return port.ReadPending.load(); });
    line->device().Write("burst");
    EXPECT_TRUE(WaitUntil([&] { return port.ReceiveUsed() == 5; }));
    std::this_thread::sleep_for(20ms);
  }
  win::PostMessageA(first, win::WM_QUIT, 0, 0);
  host.join();
  return seen;
}

// One message per completed device read (a burst usually arrives in one;
// a loaded machine may split it), the same to every listed class.
TEST(HostNotification, ListedWindowsGetTheMessageWithThePortNumberWhereDue) {
  auto seen = OneBurst("COM3", {"TDXGetMain", "TTextForm", "TPrintForm", "TSBQTestForm", "TNotListedForm"});
  using V = std::vector<win::WPARAM>;
  const std::size_t reads = seen["TDXGetMain"].size();
  ASSERT_GE(reads, 1u);
  EXPECT_LT(reads, 5u);  // never one per byte
  EXPECT_EQ(seen, (decltype(seen){{"TDXGetMain", V(reads, 3)},
                                  {"TSBQTestForm", V(reads, 3)},
                                  {"TTextForm", V(reads, 0)},
                                  {"TPrintForm", V(reads, 0)}}));
  for (const auto& [name, number] : {std::pair{"COM9", 9u}, {"COM10", 0u}, {"com3", 0u}, {"COM3x", 0u}}) {
    const V got = OneBurst(name, {"TDXSendMain"})["TDXSendMain"];
    EXPECT_FALSE(got.empty());
    EXPECT_EQ(got, V(got.size(), number)) << name;
  }
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

// The thread that owns a notified window destroys the port while the port's
// send of the notification waits on that thread: it may not deadlock.
// (Destroying it inside the handler is the fault suite's DestroyInNotification.)
TEST(HostNotification, OwnerOfANotifiedWindowCanDestroyThePortWhileTheSendWaits) {
  constexpr int kRounds = 200;
  auto line = sim::VirtualLine::create("vl-owner");
  line->device().SetFollowHost(true);
  int handled = 0;
  test::RunWithDeadline("owner destroys port", 120s, [&] {
    std::thread owner([&] {
      Handler handler = [&](win::HWND, win::UINT msg, win::WPARAM, win::LPARAM) {
        handled += msg == SerialPort::DataArrivedMessage;
        return 0;
      };
      win::HWND window = test::HandlerWindow("TDXGetMain", &handler);
      for (int round = 0; round < kRounds; ++round) {
        auto port = std::make_unique<SerialPort>("vl-owner", "115200,N,8,1");
        ASSERT_TRUE(WaitUntil([&] { return port->ReadPending.load(); }));
        line->device().Write("ab");
        ASSERT_TRUE(WaitUntil([&] { return port->ReceiveUsed() > 0; }));
        if (round % 2 == 0) std::this_thread::sleep_for(1ms);  // the send is waiting on this thread
        port.reset();
      }
      win::DestroyWindow(window);
    });
    owner.join();
  });
  EXPECT_GE(handled, kRounds);  // at least one notification per round, each handled
}

}  // namespace
}  // namespace veravo
