// Printer, display and door commands. Printers and displays share a
// multi-drop line: the address byte of a frame goes out with mark parity,
// everything after it with space parity. The port is re-set between the two
// once the bytes before have left the line; the pauses stay as the devices
// expect them.
#include <veravo/edit/zpedit.h>

namespace veravo {

namespace {

// Takes the text before the first "," off `list` (with the ","); false when
// no "," is left. Text after the last "," is never a field.
bool NextField(AnsiString& list, AnsiString& field) {
  int comma = list.Pos(",");
  if (comma == 0) return false;
  field = list.SubString(1, comma - 1);
  list.Delete(1, comma);
  return true;
}

}  // namespace

// Fields "AABBCCDDdata...": address A, header B C D, data. Sent as A (mark),
// B C D, A^B^C, the data bytes and their XOR (space). Fields holding "'" are
// skipped. Every field, sent or skipped, is followed by a SleepTiem pause.
void TZPEdit::PringWriteData(const AnsiString& frames) {
  RefuseReentry("PringWriteData");
  SetText("");
  try {
    if (ReopenWhenNoPort()) return;
    AnsiString list = Trim(frames);
    AnsiString field;
    while (NextField(list, field)) {
      if (field.Pos("'") == 0) {
        ReconfigureLine("PringWriteData", ",M,8,1");
        SendHex(field.SubString(1, 2));
        Pause(2 * SleepTiem);
        ReconfigureLine("PringWriteData", ",S,8,1");
        SendHex(field.SubString(3, 6));
        // The header check covers the address and the first two header
        // bytes only.
        SendChar(XorByte(field.SubString(1, 6)));
        AnsiString data = field.SubString(9, field.Length());
        SendHex(data);
        SendChar(XorByte(data));
      }
      Pause(SleepTiem);
    }
  } catch (...) {
  }
}

// Fields are all hex ("AAHH..": A (mark), the H bytes, XOR of all (space)) or
// quoted ("AAHH..'text'TT": A (mark), the H bytes, XOR of A and the H bytes,
// the text, the trailer byte T when present, XOR of text and T).
void TZPEdit::DidplayWriteData(const AnsiString& frames) {
  RefuseReentry("DidplayWriteData");
  SetText("");
  try {
    if (ReopenWhenNoPort()) return;
    AnsiString list = Trim(frames);
    AnsiString field;
    while (NextField(list, field)) {
      ReconfigureLine("DidplayWriteData", ",M,8,1");
      SendHex(field.SubString(1, 2));
      Pause(SleepTiem);
      ReconfigureLine("DidplayWriteData", ",S,8,1");
      int q = field.Pos("'");
      if (q == 0) {
        SendHex(field.SubString(3, field.Length()));
        SendChar(XorByte(field));
      } else {
        SendQuotedFrame(field, q);
      }
    }
  } catch (...) {
  }
}

// The door command 01 'S' 'W' 05 0D, in three writes with the current line
// format. Opens the port first when none is open.
void TZPEdit::OpenDoor() {
  RefuseReentry("OpenDoor");
  SetText("");
  try {
    if (!FPort) CreatePort();
    SendHex("1");
    SendChar("SW");
    SendHex("50D");
  } catch (...) {
    ClosePort();
    CreatePort();
  }
}

// "text,HEX,HEX...": the text before the first "," as characters, then each
// further field as hex bytes. Without a "," the whole argument is hex.
void TZPEdit::SBPring(const AnsiString& fields) {
  RefuseReentry("SBPring");
  SetText("");
  if (!FPort) return;
  AnsiString rest = fields;
  int comma = rest.Pos(",");
  SendChar(rest.SubString(1, comma - 1));
  rest.Delete(1, comma);
  while ((comma = rest.Pos(",")) > 0) {
    SendHex(rest.SubString(1, comma - 1));
    rest.Delete(1, comma);
  }
  SendHex(rest);
}

}  // namespace veravo
