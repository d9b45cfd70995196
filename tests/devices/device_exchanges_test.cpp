// Exchanges that poll for a reply, calls back into the component while it
// lets the host handle messages, and every method without a port.
#include <functional>

#include "edit/line_fixture.h"
#include "support/handler_window.h"

namespace veravo::testing {
namespace {

using DeviceExchanges = EditOnLine;

// A window on the test thread whose handler calls back into the component
// once, for a message posted at its creation.
struct CallBackWindow {
  explicit CallBackWindow(std::function<void()> f) : callBack(std::move(f)) {
    win::PostMessageA(window, win::WM_APP, 0, 0);
  }
  ~CallBackWindow() { win::DestroyWindow(window); }
  std::function<void()> callBack;
  std::string outcome;
  test::WindowHandler handler = [this](win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) {
    if (m != win::WM_APP) return win::DefWindowProcA(w, m, wp, lp);
    try {
      callBack();
      outcome = "accepted";
    } catch (const Exception& e) {
      outcome = std::string(e.ClassName()) + ": " + e.Message.str();
    }
    return win::LRESULT{0};
  };
  win::HWND window = test::HandlerWindow("CallBackWindow", &handler);
};

TEST_F(DeviceExchanges, PollsStopAtTheFirstReplyAndLeaveLaterBytesAndCallsBackDuringThemAreRefused) {
  Open();
  // Unanswered, the exchanges give their no-reply results.
  EXPECT_EQ(edit_.SBQWriteData("0102"), "");
  EXPECT_EQ(edit_.HDGWriteData("05,0101"), "FF~2");
  EXPECT_EQ(edit_.HYWriteCheck("0102"), "FF");
  EXPECT_EQ(edit_.GetText(), "");
  EXPECT_EQ(Received(9), "01/- 02/- CA/- 3A/- 05/1 01/0 01/0 01/- 02/-");
  auto answer = [this](std::string first, std::string later) {
    device().SetBurstHandler([this, first, later](const std::vector<sim::RxRecord>&) {
      line_->device().Write(HexBytes(first));
      line_->device().Write(HexBytes(later), {300, std::nullopt});
    });
  };
  std::string crcReply = "0A0B0C" + edit_.GetCRC("0A0B0C").str();
  answer(crcReply, "77");
  EXPECT_EQ(edit_.SBQWriteData("0102"), crcReply.c_str());
  EXPECT_EQ(Received(4), "01/- 02/- CA/- 3A/-");
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(edit_.AnyHexRead(), "77");

  edit_.SetParm(",S,8,1");
  Reply("EE");  // earlier input: drained by the exchange, never returned
  answer("0A0B", "0C");
  EXPECT_EQ(edit_.HYWriteCheck(" 0102 "), "0A0B");
  std::vector<sim::RxRecord> sent = Take(2);
  EXPECT_EQ(Wire(sent), "01/- 02/-");
  EXPECT_EQ(sent.at(0).format.Text(), "19200,N,8,1");
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(edit_.HYReadData(), "0C");

  Reply("EE");
  AnswerBurst(2, "0A0B0C");  // burst 1 is the address byte
  EXPECT_EQ(edit_.HDGWriteData("05,0101"), "0A0B0C~1");
  EXPECT_EQ(edit_.GetText(), "0A0B0C");
  EXPECT_EQ(Received(3), "05/1 01/0 01/0");

  // Calls back into the component during an exchange are refused.
  {
    CallBackWindow probe([this] { edit_.SendAnyHex("7F"); });
    AnswerBurst(1, "0A0B");
    EXPECT_EQ(edit_.HYWriteCheck("0102"), "0A0B");
    EXPECT_EQ(probe.outcome,
              "EInvalidOperation: TZPEdit::SendAnyHex: the component is busy in HYWriteCheck (called from a "
              "window message handled during it)");
    EXPECT_EQ(Received(2), "01/- 02/-");  // the refused call sent nothing
  }
  // A read request to the component's own window is dropped meanwhile: it
  // would take the reply away from the exchange.
  CallBackWindow probe([this] { edit_.HDGGetData(); });
  win::PostMessageA(edit_.Handle(), TZPEdit::ReadRequestMessage, 0, 0);
  AnswerBurst(2, "0A0B0C");
  EXPECT_EQ(edit_.HDGWriteData("05,0101"), "0A0B0C~1");
  EXPECT_NE(probe.outcome.find("busy in HDGWriteData"), std::string::npos) << probe.outcome;
  EXPECT_EQ(edit_.GetText(), "0A0B0C");
  Reply("01");  // a read request is taken again afterwards
  win::SendMessageA(edit_.Handle(), TZPEdit::ReadRequestMessage, 0, 0);
  EXPECT_EQ(edit_.GetText(), "01");
}

TEST_F(DeviceExchanges, WithoutAPort) {
  MessageBoxCapture capture;
  using Call = std::function<AnsiString(TZPEdit&)>;
  edit_.SetText("kept");
  EXPECT_EQ(edit_.HDGGetData(), "0");
  EXPECT_EQ(edit_.GetPJD(), "0");
  EXPECT_EQ(edit_.GetText(), "kept");
  EXPECT_EQ(edit_.HDGWriteData("05,0101"), "0~1");
  EXPECT_EQ(edit_.SBQGetData(), " ");
  EXPECT_EQ(edit_.NewSBQGetData() + edit_.CRTRead() + edit_.GetData() + edit_.SendAnyHex("01") +
                edit_.SendATCommand("AT"),
            "");
  edit_.SendHDGData("05,01"), edit_.DZShow("01"), edit_.NewDZShow("#01"), edit_.SendAnyChar("A");
  edit_.CRTPort("01"), edit_.SendATNR("A"), edit_.NewSBQWriteData("02313233343503"), edit_.SBPring("A,01");
  EXPECT_EQ(edit_.PortState(), TZPEdit::PortNeverOpened);

  // These open the port and send nothing; OpenDoor opens it and sends.
  Call reopen[] = {[](TZPEdit& e) { return e.SBQWriteData("0102"); },
                   [](TZPEdit& e) { return e.PringWriteData("0A1B2C7F,"), AnsiString(); },
                   [](TZPEdit& e) { return e.DidplayWriteData("0A1B,"), AnsiString(); }};
  for (const Call& call : reopen) {
    EXPECT_EQ(call(edit_), "");
    EXPECT_EQ(edit_.PortState(), TZPEdit::PortOpen);
    edit_.ClosePort();
  }
  EXPECT_EQ(Received(0), "");
  edit_.OpenDoor();
  EXPECT_EQ(Received(5), "01/- 53/- 57/- 05/- 0D/-");
  EXPECT_TRUE(capture.boxes.empty());
}

}  // namespace
}  // namespace veravo::testing
