// BuildCommDCBA: reads a device definition in the syntax of the mode
// command into a DCB. Two forms are understood, each optionally preceded by
// "COMn" or "COMn:":
//   baud[,parity[,data[,stop[,x|p]]]]       for example "9600,N,8,1" or "96,e,7,1.5"
//   baud=b parity=p data=d stop=s [to=on|off] [xon=on|off] [odsr=on|off]
//     [octs=on|off] [dtr=on|off|hs] [rts=on|off|hs|tg] [idsr=on|off]
// Fields may be surrounded by spaces. Fields left out keep the DCB's value.
// A definition that cannot be read fails with ERROR_INVALID_PARAMETER and
// leaves the DCB unchanged.
#include <veravo/platform/win/win_api.h>

#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veravo::win {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

// Baud rates, with the two-digit abbreviations of the mode syntax.
std::optional<DWORD> ParseBaud(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  DWORD value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + static_cast<DWORD>(c - '0');
  }
  switch (value) {
    case 0:
      return std::nullopt;
    case 11:
      return 110;
    case 15:
      return 150;
    case 30:
      return 300;
    case 60:
      return 600;
    case 12:
      return 1200;
    case 24:
      return 2400;
    case 48:
      return 4800;
    case 96:
      return 9600;
    case 19:
      return 19200;
    default:
      return value;
  }
}

std::optional<BYTE> ParseParity(std::string_view text) {
  if (text.size() != 1) return std::nullopt;
  switch (std::toupper(static_cast<unsigned char>(text[0]))) {
    case 'N':
      return NOPARITY;
    case 'O':
      return ODDPARITY;
    case 'E':
      return EVENPARITY;
    case 'M':
      return MARKPARITY;
    case 'S':
      return SPACEPARITY;
    default:
      return std::nullopt;
  }
}

std::optional<BYTE> ParseDataBits(std::string_view text) {
  if (text.size() != 1 || text[0] < '5' || text[0] > '8') return std::nullopt;
  return static_cast<BYTE>(text[0] - '0');
}

std::optional<BYTE> ParseStopBits(std::string_view text) {
  if (text == "1") return ONESTOPBIT;
  if (text == "1.5") return ONE5STOPBITS;
  if (text == "2") return TWOSTOPBITS;
  return std::nullopt;
}

void SetParity(DCB* dcb, BYTE parity) {
  dcb->Parity = parity;
  dcb->fParity = parity != NOPARITY ? 1 : 0;
}

bool ParseCommaForm(std::string_view text, DCB* dcb) {
  std::vector<std::string_view> fields;
  for (;;) {
    std::size_t comma = text.find(',');
    fields.push_back(Trim(text.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (fields.size() > 5) return false;
  auto baud = ParseBaud(fields[0]);
  if (!baud) return false;
  dcb->BaudRate = *baud;
  if (fields.size() > 1) {
    auto parity = ParseParity(fields[1]);
    if (!parity) return false;
    SetParity(dcb, *parity);
  }
  if (fields.size() > 2) {
    auto data = ParseDataBits(fields[2]);
    if (!data) return false;
    dcb->ByteSize = *data;
  }
  if (fields.size() > 3) {
    auto stop = ParseStopBits(fields[3]);
    if (!stop) return false;
    dcb->StopBits = *stop;
  }
  // The line is left with DTR and RTS on and no flow control, unless the
  // fifth field asks for XON/XOFF (x) or the hardware handshake (p).
  dcb->fDtrControl = DTR_CONTROL_ENABLE;
  dcb->fRtsControl = RTS_CONTROL_ENABLE;
  dcb->fOutxCtsFlow = 0;
  dcb->fOutxDsrFlow = 0;
  dcb->fOutX = 0;
  dcb->fInX = 0;
  if (fields.size() > 4) {
    std::string handshake = Lower(fields[4]);
    if (handshake == "x") {
      dcb->fOutX = 1;
      dcb->fInX = 1;
    } else if (handshake == "p") {
      dcb->fOutxCtsFlow = 1;
      dcb->fOutxDsrFlow = 1;
      dcb->fDtrControl = DTR_CONTROL_HANDSHAKE;
      dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else {
      return false;
    }
  }
  return true;
}

std::optional<bool> ParseOnOff(const std::string& value) {
  if (value == "on") return true;
  if (value == "off") return false;
  return std::nullopt;
}

bool ParseKeyForm(std::string_view text, DCB* dcb) {
  bool any = false;
  while (!(text = Trim(text)).empty()) {
    std::size_t end = 0;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    std::string_view token = text.substr(0, end);
    text.remove_prefix(end);
    std::size_t equals = token.find('=');
    if (equals == std::string_view::npos) return false;
    std::string key = Lower(token.substr(0, equals));
    std::string_view raw = token.substr(equals + 1);
    std::string value = Lower(raw);
    any = true;
    if (key == "baud") {
      auto baud = ParseBaud(raw);
      if (!baud) return false;
      dcb->BaudRate = *baud;
    } else if (key == "parity") {
      auto parity = ParseParity(raw);
      if (!parity) return false;
      SetParity(dcb, *parity);
    } else if (key == "data") {
      auto data = ParseDataBits(raw);
      if (!data) return false;
      dcb->ByteSize = *data;
    } else if (key == "stop") {
      auto stop = ParseStopBits(raw);
      if (!stop) return false;
      dcb->StopBits = *stop;
    } else if (key == "dtr") {
      if (value == "hs") {
        dcb->fDtrControl = DTR_CONTROL_HANDSHAKE;
      } else if (auto on = ParseOnOff(value)) {
        dcb->fDtrControl = *on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
      } else {
        return false;
      }
    } else if (key == "rts") {
      if (value == "hs") {
        dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
      } else if (value == "tg") {
        dcb->fRtsControl = RTS_CONTROL_TOGGLE;
      } else if (auto on = ParseOnOff(value)) {
        dcb->fRtsControl = *on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
      } else {
        return false;
      }
    } else if (key == "xon" || key == "odsr" || key == "octs" || key == "idsr" || key == "to") {
      auto on = ParseOnOff(value);
      if (!on) return false;
      if (key == "xon") {
        dcb->fOutX = *on;
        dcb->fInX = *on;
      } else if (key == "odsr") {
        dcb->fOutxDsrFlow = *on;
      } else if (key == "octs") {
        dcb->fOutxCtsFlow = *on;
      } else if (key == "idsr") {
        dcb->fDsrSensitivity = *on;
      }
      // "to" sets the infinite write time-out of the mode command; a DCB has
      // no place for it.
    } else {
      return false;
    }
  }
  return any;
}

}  // namespace

BOOL BuildCommDCBA(LPCSTR definition, DCB* dcb) {
  if (definition == nullptr || dcb == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string_view text = Trim(definition);
  // An optional device name in front: "COM1:" or "COM1 ".
  if (text.size() > 3 && Lower(text.substr(0, 3)) == "com" &&
      std::isdigit(static_cast<unsigned char>(text[3]))) {
    std::size_t i = 3;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && text[i] == ':') ++i;
    text = Trim(text.substr(i));
  }
  DCB result = *dcb;
  bool ok = text.find('=') != std::string_view::npos ? ParseKeyForm(text, &result)
                                                     : !text.empty() && ParseCommaForm(text, &result);
  if (!ok) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *dcb = result;
  return TRUE;
}

}  // namespace veravo::win
