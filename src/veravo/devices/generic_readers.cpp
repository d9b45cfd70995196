// Plain hex I/O and the simple readers: they use the port with its current
// line format and never wait for data that has not arrived.
#include <veravo/edit/zpedit.h>

namespace veravo {

namespace {

constexpr int kAnswerPauseMs = 50;

}  // namespace

// Sends the bytes, waits 50 ms and returns what has arrived by then.
AnsiString TZPEdit::SendAnyHex(const AnsiString& hexText) {
  RefuseReentry("SendAnyHex");
  SetText("");
  if (!FPort) return AnsiString();
  SendHex(hexText);
  Pause(kAnswerPauseMs);
  return AnyHexRead();
}

void TZPEdit::SendAnyChar(const AnsiString& text) {
  RefuseReentry("SendAnyChar");
  SetText("");
  if (FPort) SendChar(text);
}

AnsiString TZPEdit::AnyHexRead() {
  RefuseReentry("AnyHexRead");
  SetText("");
  SetText(Trim(ReplySnapshot("AnyHexRead")));
  return GetText();
}

AnsiString TZPEdit::GetLlsj() {
  RefuseReentry("GetLlsj");
  SetText("");
  SetText(Trim(ReplySnapshot("GetLlsj")));
  return GetText();
}

// The received bytes as characters, up to the first zero byte, trimmed.
AnsiString TZPEdit::UPSRead() {
  RefuseReentry("UPSRead");
  SetText("");
  std::string bytes = TakeSnapshot("UPSRead");
  SetText(Trim(AnsiString(bytes.c_str())));
  return GetText();
}

// The bytes of the argument followed by their XOR.
void TZPEdit::CRTPort(const AnsiString& hexText) {
  RefuseReentry("CRTPort");
  SetText("");
  try {
    if (!FPort) return;
    SendHex(hexText);
    SendChar(XorByte(hexText));
  } catch (...) {
  }
}

// Accepts a reply whose last byte is the XOR of bytes 4 to N-1 (three header
// bytes lie outside the check).
AnsiString TZPEdit::CRTRead() {
  RefuseReentry("CRTRead");
  SetText("");
  try {
    std::string reply = TakeSnapshot("CRTRead");
    if (!reply.empty()) {
      unsigned char x = 0;
      for (std::size_t i = 3; i + 1 < reply.size(); ++i) x ^= static_cast<unsigned char>(reply[i]);
      if (x == static_cast<unsigned char>(reply.back())) {
        SetText(Trim(BytesToHexText(reinterpret_cast<const unsigned char*>(reply.data()), reply.size())));
      }
    }
    return GetText();
  } catch (...) {
    return GetText();
  }
}

}  // namespace veravo
