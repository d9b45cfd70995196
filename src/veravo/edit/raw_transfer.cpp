// The transfer operations every device protocol is built on: writing hex
// text and characters (with recovery of a failed write), the reply snapshot,
// the XOR-checked reader and the addressed frame of a multi-drop line.
#include <veravo/edit/zpedit.h>
#include <veravo/platform/win/win.h>
#include <veravo/serial/_SerialPort.h>

#include <vector>

namespace veravo {

namespace {

constexpr long kHexWriteTimeoutMs = 10000;
constexpr long kCharWriteTimeoutMs = 1000;
constexpr int kRecoveryPauseMs = 50;
constexpr int kReplyPolls = 20;

}  // namespace

// A write the port refuses (blocked port, or not all queued in time) makes
// the component pause, close the port and open it again with ",N,8,1"; the
// bytes are not sent again. Without a port nothing is written. Every failure
// ends here: the caller carries on with its next piece.
void TZPEdit::SendHex(const AnsiString& hexText) {
  RefuseReentry("SendHex");
  try {
    // The whole text is sent, however many bytes it decodes to.
    std::vector<unsigned char> bytes = HexTextToBytes(hexText.c_str());
    int rc = 0;
    if (!bytes.empty()) {
      rc = RequirePort("SendHex").Write(reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<int>(bytes.size()), kHexWriteTimeoutMs, nullptr);
    }
    if (rc < 0) {
      Pause(kRecoveryPauseMs);
      ClosePort();
      CreatePort();
    }
  } catch (...) {
  }
}

// As SendHex, but the characters are sent as they stand, zero bytes included.
void TZPEdit::SendChar(const AnsiString& text) {
  RefuseReentry("SendChar");
  try {
    std::vector<char> copy(text.str().begin(), text.str().end());
    int rc = 0;
    if (!copy.empty()) {
      rc = RequirePort("SendChar")
               .Write(copy.data(), static_cast<int>(copy.size()), kCharWriteTimeoutMs, nullptr);
    }
    if (rc < 0) {
      Pause(kRecoveryPauseMs);
      ClosePort();
      CreatePort();
    }
  } catch (...) {
  }
}

// One Read with no wait: it returns at once with the bytes the receive
// thread has gathered so far. Its result code is not looked at; ByteCount
// says how many bytes came.
std::string TZPEdit::TakeSnapshot(const char* method, int maxBytes) {
  SerialPort& port = RequirePort(method);
  std::vector<char> buffer(static_cast<std::size_t>(maxBytes) + 1, 0);
  port.Read(buffer.data(), maxBytes, 0);
  std::size_t n = port.ByteCount;
  if (n > static_cast<std::size_t>(maxBytes)) n = static_cast<std::size_t>(maxBytes);
  return std::string(buffer.data(), n);
}

AnsiString TZPEdit::ReplySnapshot(const char* method) {
  std::string bytes = TakeSnapshot(method);
  return AnsiString(BytesToHexText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

// Accepts a reply whose last byte is the XOR of all bytes before it. Without
// a port there is nothing to read and the answer is "".
AnsiString TZPEdit::GetData() {
  RefuseReentry("GetData");
  SetText("");
  if (!FPort) return AnsiString();
  AnsiString h = ReplySnapshot("GetData");
  AnsiString last = h.SubString(h.Length() - 1, 2);
  AnsiString before = h.SubString(1, h.Length() - 2);
  if (XorByte(last) == XorByte(before)) SetText(h);
  return GetText();
}

void TZPEdit::SendQuotedFrame(const AnsiString& frame, int q) {
  SendHex(frame.SubString(3, q - 3));
  SendChar(XorByte(frame.SubString(1, q - 1)));
  AnsiString rest = frame;
  rest.Delete(1, q);
  // Without a closing "'" r is 0: no text is sent, and the two characters
  // at the start of the rest are taken as the trailer byte.
  int r = rest.Pos("'");
  SendChar(rest.SubString(1, r - 1));
  if (rest.Length() != r) SendHex(rest.SubString(r + 1, 2));
  SendChar(XorChar(rest));
}

// Sends the first frame of the argument (the text before its first ","):
// the address byte with mark parity, then, 2 x SleepTiem later, the rest with
// space parity; then polls GetData for the reply. The port stays at space
// parity.
AnsiString TZPEdit::WriteData(const AnsiString& frame) {
  RefuseReentry("WriteData");
  SetText("");
  AnsiString reply;
  try {
    if (ReopenWhenNoPort()) return reply;
    AnsiString text = Trim(frame);
    int comma = text.Pos(",");
    if (comma == 0) return reply;
    AnsiString first = text.SubString(1, comma - 1);

    ReconfigureLine("WriteData", ",M,8,1");
    SendHex(first.SubString(1, 2));
    // The pause the device expects after its address byte; the switch below
    // waits for that byte to leave the line first.
    Pause(2 * SleepTiem);
    ReconfigureLine("WriteData", ",S,8,1");

    int q = first.Pos("'");
    if (q == 0) {
      SendHex(first.SubString(3, first.Length()));
    } else {
      SendQuotedFrame(first, q);
    }

    for (int poll = 0; poll < kReplyPolls; ++poll) {
      reply = GetData();
      if (!reply.IsEmpty()) break;
    }
    return reply;
  } catch (...) {
    return reply;
  }
}

}  // namespace veravo
