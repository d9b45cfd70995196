// A host window that closes the component's port from inside its handler of
// the data-arrival message, while bytes stream in through line errors and a
// write is still going out. The close must neither hang nor crash, and a
// second host window notified while the port is going away never sees the
// dying port (the sanitizer build checks for use after free).
#include <veravo/platform/win/win.h>

#include "edit/line_fixture.h"
#include "faults/fault_support.h"
#include "support/handler_window.h"

namespace veravo::faults {
namespace {

// A window procedure that runs `handler` for each data-arrival message.
test::WindowHandler OnDataArrival(std::function<void()> handler) {
  return [handler](win::HWND, win::UINT message, win::WPARAM, win::LPARAM) -> win::LRESULT {
    if (message == SerialPort::DataArrivedMessage) handler();
    return 0;
  };
}

TEST(DestroyInNotification, HostClosesThePortFromItsHandlerUnderFaults) {
  const int rounds = Scaled(400);
  auto line = NewLine("notify");
  testing::MessageBoxCapture boxes;

  // The device keeps sending short bursts, with line errors and breaks among them.
  std::jthread device([&](std::stop_token stop) {
    std::mt19937 r(0x5EED0006);
    while (!stop.stop_requested()) {
      line->device().Write(RandomStream(r, 1 + r() % 64));
      const unsigned fault = r() % 10;
      if (fault == 0) line->device().InjectLineError(win::CE_FRAME | win::CE_RXPARITY);
      if (fault == 1) line->device().SendBreak(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1 + r() % 3));
    }
  });

  int closes = 0, sawDyingPort = 0;
  Clock::duration slowestClose{};
  RunWithDeadline("closing the port inside the notification handler", 120s, [&] {
    std::thread owner([&] {
      TZPEdit edit(nullptr);
      edit.SetProtName(line->name().c_str());
      edit.SetBaudRate(115200);
      SerialPort* dying = nullptr;
      // First in the notification order: closes the port.
      test::WindowHandler toClose = OnDataArrival([&] {
        if (edit.Port() == nullptr) return;
        dying = edit.Port();
        const auto t0 = Clock::now();
        edit.ClosePort();
        slowestClose = std::max(slowestClose, Clock::now() - t0);
        ++closes;
      });
      // Later in the order: notified while the port is going away, or after.
      test::WindowHandler toLook = OnDataArrival([&] {
        if (dying != nullptr && edit.Port() == dying) ++sawDyingPort;
      });
      win::HWND first = test::HandlerWindow("TTextForm", &toClose);
      win::HWND second = test::HandlerWindow("TSBQTestForm", &toLook);
      const std::string block(500, '5');
      while (closes < rounds) {
        if (edit.Port() == nullptr) {
          if (!edit.CreatePort()) break;  // the count of closes falls short
          dying = nullptr;
          // A write still going out when the port is closed.
          edit.SendHex(block.c_str());
        }
        win::MSG msg;
        while (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) win::DispatchMessageA(&msg);
        std::this_thread::sleep_for(1ms);
      }
      edit.ClosePort();
      win::DestroyWindow(first);
      win::DestroyWindow(second);
    });
    owner.join();
  });

  EXPECT_EQ(closes, rounds);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(sawDyingPort, 0) << "a handler reached the port that was being destroyed";
  EXPECT_LT(slowestClose, 2s);
}

}  // namespace
}  // namespace veravo::faults
