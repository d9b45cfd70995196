// AT-command modem: command lines and message bodies go out as the host
// built them; answers come back as hex text for the host to interpret.
#include <veravo/edit/zpedit.h>

namespace veravo {

// Sends the line exactly as given (the caller supplies the carriage return);
// the answer is fetched later with GetATCom.
AnsiString TZPEdit::SendATCommand(const AnsiString& commandLine) {
  RefuseReentry("SendATCommand");
  SetText("");
  if (FPort) SendChar(commandLine);
  return AnsiString();
}

// The body, then the end-of-message byte 1A and a carriage return.
void TZPEdit::SendATNR(const AnsiString& body) {
  RefuseReentry("SendATNR");
  SetText("");
  if (!FPort) return;
  SendChar(body);
  SendHex("1A");
  SendChar("\r");
}

// Everything the modem has answered so far (up to 10240 bytes), as hex.
AnsiString TZPEdit::GetATCom() {
  RefuseReentry("GetATCom");
  SetText("");
  std::string bytes = TakeSnapshot("GetATCom", ModemReplyBytes);
  AnsiString hex;
  for (char c : bytes) hex += StrToHex(AnsiString(std::string(1, c)));
  SetText(hex);
  return GetText();
}

}  // namespace veravo
