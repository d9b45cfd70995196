// Laying PortSettings onto the device control block, and reading settings
// texts.
#include <veravo/platform/win/win_api.h>
#include <veravo/serial/result_codes.h>
#include <veravo/serial/serial_port.h>

#include <cstring>

namespace veravo {

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

int SerialPort::ApplySettings(const PortSettings& s) {
  int rc = result::Success;
  if (s.Baud != PortSettings::Keep) DeviceState.BaudRate = static_cast<win::DWORD>(s.Baud);

  if (s.Parity != PortSettings::KeepParity) {
    switch (UpperAscii(s.Parity)) {
      case 'N':
        DeviceState.fParity = 0;
        DeviceState.Parity = win::NOPARITY;
        break;
      case 'O':
        DeviceState.fParity = 1;
        DeviceState.Parity = win::ODDPARITY;
        break;
      case 'E':
        DeviceState.fParity = 1;
        DeviceState.Parity = win::EVENPARITY;
        break;
      case 'M':
        DeviceState.fParity = 1;
        DeviceState.Parity = win::MARKPARITY;
        break;
      case 'S':
        DeviceState.fParity = 1;
        DeviceState.Parity = win::SPACEPARITY;
        break;
      default:
        rc = result::IllegalParity;
        break;
    }
  }

  if (s.DataBits != PortSettings::Keep) {
    if (s.DataBits >= 5 && s.DataBits <= 8) {
      DeviceState.ByteSize = static_cast<win::BYTE>(s.DataBits);
    } else {
      rc = result::IllegalWordLength;
    }
  }

  if (s.StopBits != PortSettings::Keep) {
    if (s.StopBits == 1) {
      DeviceState.StopBits = win::ONESTOPBIT;
    } else if (s.StopBits == 2) {
      DeviceState.StopBits = win::TWOSTOPBITS;
    } else {
      rc = result::IllegalStopBits;
    }
  }

  if (s.Dtr != PortSettings::Keep) {
    DeviceState.fDtrControl = s.Dtr != 0 ? win::DTR_CONTROL_ENABLE : win::DTR_CONTROL_DISABLE;
  }
  if (s.Rts != PortSettings::Keep) {
    DeviceState.fRtsControl = s.Rts != 0 ? win::RTS_CONTROL_ENABLE : win::RTS_CONTROL_DISABLE;
  }
  if (s.XonXoff != PortSettings::Keep) {
    DeviceState.fOutX = s.XonXoff != 0 ? 1 : 0;
    DeviceState.fInX = s.XonXoff != 0 ? 1 : 0;
  }
  if (s.RtsCts != PortSettings::Keep) {
    if (s.RtsCts != 0) {
      DeviceState.fRtsControl = win::RTS_CONTROL_HANDSHAKE;
      DeviceState.fOutxCtsFlow = 1;
    } else {
      DeviceState.fOutxCtsFlow = 0;
    }
  }
  if (s.DtrDsr != PortSettings::Keep) {
    if (s.DtrDsr != 0) {
      DeviceState.fDtrControl = win::DTR_CONTROL_HANDSHAKE;
      DeviceState.fOutxDsrFlow = 1;
    } else {
      DeviceState.fOutxDsrFlow = 0;
    }
  }

  // A failed write outranks any bad field.
  if (!win::SetCommState(Device, &DeviceState)) {
    const win::DWORD error = win::GetLastError();
    if (error == win::ERROR_INVALID_HANDLE) return result::SetParametersFailed;
    m_dwWindowsError = error;
    return result::PlatformError;
  }
  return rc;
}

void SerialPort::ParseSettingsText(PortSettings& out, const char* settingsText) {
  if (settingsText == nullptr) return;
  win::DCB scratch = DeviceState;
  scratch.fOutX = 0;
  scratch.fInX = 0;
  scratch.fOutxCtsFlow = 0;
  scratch.fOutxDsrFlow = 0;
  scratch.fDtrControl = win::DTR_CONTROL_ENABLE;
  scratch.fRtsControl = win::RTS_CONTROL_ENABLE;
  if (!win::BuildCommDCBA(settingsText, &scratch)) return;

  out.Baud = static_cast<std::int32_t>(scratch.BaudRate);
  const char* comma = std::strchr(settingsText, ',');
  const char letter = comma != nullptr ? comma[1] : settingsText[0];
  out.Parity = (letter == 'N' || letter == 'E' || letter == 'O' || letter == 'M') ? letter : 'S';
  out.DataBits = scratch.ByteSize;
  out.StopBits = scratch.StopBits == win::ONESTOPBIT ? 1 : 2;
  out.Dtr = scratch.fDtrControl != win::DTR_CONTROL_DISABLE ? 1 : 0;
  out.Rts = scratch.fRtsControl != win::RTS_CONTROL_DISABLE ? 1 : 0;
  out.XonXoff = (scratch.fOutX != 0 || scratch.fInX != 0) ? 1 : 0;
  out.RtsCts = (scratch.fOutxCtsFlow != 0 || scratch.fRtsControl == win::RTS_CONTROL_HANDSHAKE) ? 1 : 0;
  out.DtrDsr = (scratch.fOutxDsrFlow != 0 || scratch.fDtrControl == win::DTR_CONTROL_HANDSHAKE) ? 1 : 0;
}

}  // namespace veravo
