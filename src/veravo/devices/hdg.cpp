// HDG devices: units on a shared line selected by an address byte sent with
// mark parity; they answer with raw bytes and are polled after each command.
#include <veravo/edit/zpedit.h>
#include <veravo/platform/win/win.h>
#include <veravo/serial/_SerialPort.h>

namespace veravo {

namespace {

constexpr int kReadPauseMs = 100;
constexpr int kAfterCommandPauseMs = 80;
constexpr int kPolls = 2;
constexpr int kPollPauseMs = 500;
// A ",0101" command (address, then the bytes 01 01) is answered quickly.
constexpr int kQuickPollPauseMs = 50;

}  // namespace

// "AA,CCCC...": the address bytes with mark parity, then after SleepTiem the
// command bytes with space parity; no check byte. Any failure re-opens the
// port.
void TZPEdit::SendHDGData(const AnsiString& command) {
  RefuseReentry("SendHDGData");
  SetText("");
  try {
    if (!FPort) return;
    AnsiString text = Trim(command);
    ReconfigureLine("SendHDGData", ",M,8,1");
    int comma = text.Pos(",");
    AnsiString address = text.SubString(1, comma - 1);
    text.Delete(1, comma);
    SendHex(address);
    Pause(SleepTiem);
    ReconfigureLine("SendHDGData", ",S,8,1");
    SendHex(text);
  } catch (...) {
    ClosePort();
    CreatePort();
  }
}

// Waits 100 ms, then shows what has arrived as hex without any check.
// Without a port the answer is "0" and Text is left alone.
AnsiString TZPEdit::HDGGetData() {
  RefuseReentry("HDGGetData");
  if (!FPort) return AnsiString("0");
  SetText("");
  Pause(kReadPauseMs);
  SetText(Trim(ReplySnapshot("HDGGetData")));
  return GetText();
}

// Command and reply: reads away what was pending, sends the command, then
// polls twice at most. Between polls the host handles its window messages;
// a call back into this component from one of its handlers is refused.
// Result "REPLY~n", or "FF~n" when no poll brought anything.
AnsiString TZPEdit::HDGWriteData(const AnsiString& command) {
  RefuseReentry("HDGWriteData");
  HDGGetData();
  SetText("");
  int polls = 0;
  AnsiString reply;
  SendHDGData(command);
  Pause(kAfterCommandPauseMs);
  const int pollPause = command.Pos(",0101") > 0 ? kQuickPollPauseMs : kPollPauseMs;
  while (polls < kPolls) {
    ++polls;
    reply = HDGGetData();
    const bool answered = !reply.IsEmpty();
    Pause(pollPause);
    ProcessHostMessages("HDGWriteData");
    if (answered) break;
  }
  if (reply.IsEmpty()) return "FF~" + IntToStr(polls);
  return reply + "~" + IntToStr(polls);
}

AnsiString TZPEdit::GetPJD() {
  RefuseReentry("GetPJD");
  try {
    return HDGGetData();
  } catch (...) {
    return AnsiString();
  }
}

// Re-sets the port to BaudRate followed by the caller's tail, e.g. ",E,7,1".
void TZPEdit::SetParm(const AnsiString& settingsTail) {
  RefuseReentry("SetParm");
  ReconfigureLine("SetParm", settingsTail.c_str());
}

}  // namespace veravo
