// Display boards: hex blocks and field lists sent with the current line
// format; no reply, no pause.
#include <veravo/edit/zpedit.h>

namespace veravo {

void TZPEdit::DZShow(const AnsiString& hexText) {
  RefuseReentry("DZShow");
  SetText("");
  if (FPort) SendHex(hexText);
}

// Fields separated by ","; "#HEX" fields go out as bytes, all others as
// characters; every call ends with the byte 0E.
void TZPEdit::NewDZShow(const AnsiString& fields) {
  RefuseReentry("NewDZShow");
  SetText("");
  if (!FPort) return;
  auto sendField = [this](const AnsiString& field) {
    if (field.Length() > 0 && field[1] == '#') {
      SendHex(field.SubString(2, field.Length()));
    } else {
      SendChar(field);
    }
  };
  AnsiString rest = fields;
  int comma;
  while ((comma = rest.Pos(",")) > 0) {
    sendField(rest.SubString(1, comma - 1));
    rest.Delete(1, comma);
  }
  if (!rest.IsEmpty()) sendField(rest);
  SendHex("0E");
}

}  // namespace veravo
