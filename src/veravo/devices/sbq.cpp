// SBQ devices, in two framings: commands and replies closed by a CRC-16 (low
// byte first), and fixed-length commands at 7 data bits, even parity, closed
// by an XOR check byte, with replies checked the same way.
#include <veravo/edit/zpedit.h>

namespace veravo {

namespace {

constexpr int kCrcPolls = 20;
constexpr int kCrcPollPauseMs = 10;
// A CRC reply shorter than this many hex digits is read a second time.
constexpr int kShortCrcReplyDigits = 10;

// The XOR-framed reply passes when its last byte equals the XOR of bytes 2
// to N-2 (byte 1 and byte N-1 lie outside the check).
bool XorFramedReplyPasses(const std::string& reply) {
  std::size_t n = reply.size();
  if (n == 0) return false;
  unsigned char x = 0;
  for (std::size_t i = 1; i + 2 < n; ++i) x ^= static_cast<unsigned char>(reply[i]);
  return x == static_cast<unsigned char>(reply[n - 1]);
}

// The reply as hex text when it passes, else "".
AnsiString XorFramedReplyText(const std::string& reply) {
  if (!XorFramedReplyPasses(reply)) return AnsiString();
  return Trim(TZPEdit::BytesToHexText(reinterpret_cast<const unsigned char*>(reply.data()), reply.size()));
}

}  // namespace

// Sends the command with its CRC and polls for a CRC-checked reply, 10 ms
// apart, at most 20 times.
AnsiString TZPEdit::SBQWriteData(const AnsiString& command) {
  RefuseReentry("SBQWriteData");
  SetText("");
  AnsiString reply;
  try {
    if (ReopenWhenNoPort()) return reply;
    AnsiString text = Trim(command);
    text = text + GetCRC(text);
    SendHex(text);
    for (int poll = 0; poll < kCrcPolls; ++poll) {
      Pause(kCrcPollPauseMs);
      reply = CCSBQGetData();
      if (!reply.IsEmpty()) break;
    }
  } catch (...) {
  }
  return reply;
}

// Accepts a reply whose last two bytes are the CRC of the bytes before them.
// A short first piece is joined with one immediate second read.
AnsiString TZPEdit::CCSBQGetData() {
  RefuseReentry("CCSBQGetData");
  SetText("");
  AnsiString hex = ReplySnapshot("CCSBQGetData");
  if (hex.Length() < kShortCrcReplyDigits) hex = hex + ReplySnapshot("CCSBQGetData");
  AnsiString body = hex.SubString(1, hex.Length() - 4);
  AnsiString crc = hex.SubString(hex.Length() - 3, 4);
  if (GetCRC(body) == crc) SetText(Trim(hex));
  return GetText();
}

// Seven bytes (the first 14 digits) at 7 data bits and even parity, then the
// XOR of bytes 2 to 6. The port stays at that line format.
void TZPEdit::NewSBQWriteData(const AnsiString& command) {
  RefuseReentry("NewSBQWriteData");
  SetText("");
  try {
    if (!FPort) return;
    AnsiString text = Trim(command);
    ReconfigureLine("NewSBQWriteData", ",E,7,1");
    SendHex(text.SubString(1, 14));
    SendChar(XorByte(text.SubString(3, 10)));
  } catch (...) {
  }
}

// XOR-framed reader; a single blank on any failure, no port included.
AnsiString TZPEdit::SBQGetData() {
  RefuseReentry("SBQGetData");
  try {
    SetText("");
    SetText(XorFramedReplyText(TakeSnapshot("SBQGetData")));
    return GetText();
  } catch (...) {
    return AnsiString(" ");
  }
}

// As SBQGetData; on failure the edit's current Text.
AnsiString TZPEdit::NewSBQGetData() {
  RefuseReentry("NewSBQGetData");
  try {
    SetText("");
    SetText(XorFramedReplyText(TakeSnapshot("NewSBQGetData")));
    return GetText();
  } catch (...) {
    return GetText();
  }
}

// Kept for hosts that call it before an exchange; there is nothing to
// prepare.
void TZPEdit::CCReady() {}

}  // namespace veravo
