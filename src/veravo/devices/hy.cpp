// HY devices: a command at no parity, 8 data bits, 1 stop bit, answered in
// raw bytes within about a second.
#include <veravo/edit/zpedit.h>
#include <veravo/platform/vcl/forms.h>

namespace veravo {

namespace {

constexpr int kAfterCommandPauseMs = 50;
constexpr int kPolls = 100;
constexpr int kPollPauseMs = 10;

}  // namespace

// Shows what has arrived as hex, without a check; needs an open port.
AnsiString TZPEdit::HYReadData() {
  RefuseReentry("HYReadData");
  SetText("");
  SetText(Trim(ReplySnapshot("HYReadData")));
  return GetText();
}

// Reads away earlier input, sends the command and polls up to 100 times,
// 10 ms apart, letting the host handle its window messages after each poll
// (a call back into this component from one of them is refused). "FF" when
// nothing came.
AnsiString TZPEdit::HYWriteCheck(const AnsiString& command) {
  RefuseReentry("HYWriteCheck");
  HYReadData();
  SetText("");
  if (FPort) {
    AnsiString text = Trim(command);
    ReconfigureLine("HYWriteCheck", ",N,8,1");
    SendHex(text);
  }
  Pause(kAfterCommandPauseMs);
  AnsiString reply;
  for (int poll = 0; poll < kPolls; ++poll) {
    reply = HYReadData();
    const bool answered = !reply.IsEmpty();
    Pause(kPollPauseMs);
    ProcessHostMessages("HYWriteCheck");
    if (answered) break;
  }
  return reply.IsEmpty() ? AnsiString("FF") : reply;
}

void TZPEdit::MyTest22(const AnsiString& text) { ShowMessage(text); }

}  // namespace veravo
