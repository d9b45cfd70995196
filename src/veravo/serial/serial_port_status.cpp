// Result-code texts and status lines of a comm-device port.
#include <veravo/platform/win/win_api.h>
#include <veravo/serial/result_codes.h>
#include <veravo/serial/serial_port.h>

#include <cstdio>

namespace veravo {

namespace {

const char* DtrControlName(unsigned value) {
  static const char* const kNames[] = {"DISABLE", "ENABLE", "HANDSHAKE", "???"};
  return kNames[value & 3u];
}

const char* RtsControlName(unsigned value) {
  static const char* const kNames[] = {"DISABLE", "ENABLE", "HANDSHAKE", "TOGGLE"};
  return kNames[value & 3u];
}

const char* StopBitsName(unsigned value) {
  static const char* const kNames[] = {"1", "1.5", "2", "???"};
  return value < 4 ? kNames[value] : kNames[3];
}

char ParityLetter(unsigned value) { return value < 5 ? "NOEMS"[value] : '?'; }

int Bit(win::DWORD bits, win::DWORD flag) { return (bits & flag) != 0 ? 1 : 0; }

}  // namespace

void SerialPort::ErrorText(int code, char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return;
  if ((code >= result::GeneralError && code <= result::OutOfMemory) ||
      (code >= result::GeneralWarning && code <= result::XonXoffNotSupported) || code >= 0) {
    SerialPortBase::ErrorText(code, out, outSize);
    return;
  }
  const char* text;
  switch (code) {
    case result::PlatformError:
      text = "Warning Errors: Check Windows error code in m_dwWindowsError\xA1\xA3";
      break;
    case result::SetParametersFailed:
      text = "Warning Errors: Failure to set port parameters\xA1\xA3";
      break;
    case result::HandshakeLineInUse:
      text = "Warning Errors: Handshake line is already in use\xA1\xA3";
      break;
    default:
      text = "Undefined error\xA1\xA3";
      break;
  }
  std::snprintf(out, outSize, "%s", text);
}

std::string SerialPort::CharText(char c) {
  if (c >= 0x20 && c <= 0x73) return std::string(1, c);
  char text[16];
  // Taken as a signed byte widened to 32 bits: 0x80 and above print as
  // ffffff80 and so on.
  std::snprintf(text, sizeof text, "0x%02x",
                static_cast<unsigned>(static_cast<int>(static_cast<signed char>(c))));
  return text;
}

int SerialPort::StatusLine(char* out, int line, std::size_t outSize) {
  if (out == nullptr) return BaseLineCount + 9;
  if (line < 0 || line >= BaseLineCount + 9) return result::IllegalLineNumber;
  if (line < BaseLineCount) return SerialPortBase::StatusLine(out, line, outSize);
  if (outSize == 0) return 0;
  const win::DCB& d = DeviceState;
  win::COMSTAT stat{};
  switch (line - BaseLineCount) {
    case 0:
      std::snprintf(out, outSize,
                    "DCB-> Baud: %6d  fBinary: %1d  fParity: %1d  fOutxCtsFlow: %1d  fOutxDsrFlow: %1d",
                    static_cast<int>(d.BaudRate), d.fBinary, d.fParity, d.fOutxCtsFlow, d.fOutxDsrFlow);
      break;
    case 1:
      std::snprintf(out, outSize, "DCB-> fDtrControl: %9s  fDsrSensitivity: %1d  fTXContinueOnXoff: %1d  ",
                    DtrControlName(d.fDtrControl), d.fDsrSensitivity, d.fTXContinueOnXoff);
      break;
    case 2:
      std::snprintf(out, outSize,
                    "DCB-> fOutX: %1d  fInX: %1d  fErrorChar: %1d  fNull: %1d  fRtsControl: %9s", d.fOutX,
                    d.fInX, d.fErrorChar, d.fNull, RtsControlName(d.fRtsControl));
      break;
    case 3:
      std::snprintf(out, outSize,
                    "DCB-> fAbortOnError: %1d  XonLim: %4d  XoffLim: %4d  ByteSize: %1d  Parity: %1c ",
                    d.fAbortOnError, d.XonLim, d.XoffLim, d.ByteSize, ParityLetter(d.Parity));
      break;
    case 4:
      std::snprintf(out, outSize, "DCB-> StopBits: %3s  XonChar: %s  XoffChar: %s  ErrorChar: %s  ",
                    StopBitsName(d.StopBits), CharText(d.XonChar).c_str(), CharText(d.XoffChar).c_str(),
                    CharText(d.ErrorChar).c_str());
      break;
    case 5:
      std::snprintf(out, outSize, "DCB-> EofChar: %s  EvtChar: %s  ", CharText(d.EofChar).c_str(),
                    CharText(d.EvtChar).c_str());
      break;
    case 6:
      CollectLineErrors(&stat);
      std::snprintf(out, outSize,
                    "COMSTAT-> fCtsHold: %1d  fDsrHold: %1d  fRlsHold: %1d  fXoffHold: %1d  fXoffSent: %1d",
                    stat.fCtsHold, stat.fDsrHold, stat.fRlsdHold, stat.fXoffHold, stat.fXoffSent);
      break;
    case 7:
      CollectLineErrors(&stat);
      std::snprintf(out, outSize, "COMSTAT-> fEof: %1d  fTxim: %1d  cbInQueue: %5d  cbOutQueue: %5d",
                    stat.fEof, stat.fTxim, static_cast<int>(stat.cbInQue), static_cast<int>(stat.cbOutQue));
      break;
    default: {
      const win::DWORD e = LineErrors;
      std::snprintf(out, outSize,
                    "CE_-> BREAK: %1d  FRAME: %1d  OVERRUN: %1d  RXOVER: %1d  RXPARITY: %1d  TXFULL: %1d",
                    Bit(e, win::CE_BREAK), Bit(e, win::CE_FRAME), Bit(e, win::CE_OVERRUN),
                    Bit(e, win::CE_RXOVER), Bit(e, win::CE_RXPARITY), Bit(e, win::CE_TXFULL));
      break;
    }
  }
  return 0;
}

}  // namespace veravo
