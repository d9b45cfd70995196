#include <veravo/platform/win/net/rfc2217_commands.h>
#include <veravo/platform/win/net/telnet_codec.h>

namespace veravo::win::net::comport {

std::vector<BYTE> Encode(BYTE command, const std::vector<BYTE>& value) {
  std::vector<BYTE> out = {telnet::kIac, telnet::kSb, telnet::kComPort};
  AppendEscaped(&command, 1, &out);
  AppendEscaped(value.data(), value.size(), &out);
  out.push_back(telnet::kIac);
  out.push_back(telnet::kSe);
  return out;
}

std::vector<BYTE> BigEndian32(std::uint32_t v) {
  return {static_cast<BYTE>(v >> 24), static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 8),
          static_cast<BYTE>(v)};
}

std::uint32_t ReadBigEndian32(const std::vector<BYTE>& value, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = at; i < at + 4 && i < value.size(); ++i) v = (v << 8) | value[i];
  return v;
}

PortSettings SettingsOf(const DCB& dcb) {
  PortSettings s;
  s.baud = dcb.BaudRate;
  s.dataSize = dcb.ByteSize;
  s.parity = static_cast<BYTE>(dcb.Parity + 1);
  static constexpr BYTE kStops[] = {1, 3, 2};
  s.stopSize = dcb.StopBits < 3 ? kStops[dcb.StopBits] : 1;
  s.outFlow = dcb.fOutxCtsFlow ? kOutFlowHardware : dcb.fOutX ? kOutFlowXonXoff : kOutFlowNone;
  const bool rtsHandshake = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
  s.inFlow = rtsHandshake ? kInFlowHardware : dcb.fInX ? kInFlowXonXoff : kInFlowNone;
  s.dtr = dcb.fDtrControl == DTR_CONTROL_DISABLE ? kDtrOff : kDtrOn;
  s.rts = rtsHandshake ? 0 : dcb.fRtsControl == RTS_CONTROL_DISABLE ? kRtsOff : kRtsOn;
  return s;
}

std::vector<std::vector<BYTE>> CommandsFor(const PortSettings* from, const PortSettings& to) {
  std::vector<std::vector<BYTE>> out;
  auto add = [&](bool changed, BYTE command, std::vector<BYTE> value) {
    if (from == nullptr || changed) out.push_back(Encode(command, value));
  };
  add(from && from->baud != to.baud, kSetBaudRate, BigEndian32(to.baud));
  add(from && from->dataSize != to.dataSize, kSetDataSize, {to.dataSize});
  add(from && from->parity != to.parity, kSetParity, {to.parity});
  add(from && from->stopSize != to.stopSize, kSetStopSize, {to.stopSize});
  add(from && from->outFlow != to.outFlow, kSetControl, {to.outFlow});
  add(from && from->inFlow != to.inFlow, kSetControl, {to.inFlow});
  add(from && from->dtr != to.dtr, kSetControl, {to.dtr});
  if (to.rts != 0) add(from && from->rts != to.rts, kSetControl, {to.rts});
  return out;
}

bool ApplyToDcb(BYTE command, const std::vector<BYTE>& value, DCB* dcb) {
  if (value.empty()) return false;
  const BYTE v = value[0];
  switch (command) {
    case kSetBaudRate:
      if (value.size() < 4) return false;
      if (std::uint32_t baud = ReadBigEndian32(value, 0)) dcb->BaudRate = baud;
      return true;
    case kSetDataSize:
      if (v != 0 && (v < 5 || v > 8)) return false;
      if (v != 0) dcb->ByteSize = v;
      return true;
    case kSetParity:
      if (v > 5) return false;
      if (v != 0) {
        dcb->Parity = static_cast<BYTE>(v - 1);
        dcb->fParity = v != 1;
      }
      return true;
    case kSetStopSize:
      if (v > 3) return false;
      if (v != 0) dcb->StopBits = v == 1 ? ONESTOPBIT : v == 2 ? TWOSTOPBITS : ONE5STOPBITS;
      return true;
    case kSetControl:
      switch (v) {
        case kOutFlowNone:
        case kOutFlowXonXoff:
        case kOutFlowHardware:
          dcb->fOutX = v == kOutFlowXonXoff;
          dcb->fOutxCtsFlow = v == kOutFlowHardware;
          return true;
        case kInFlowNone:
        case kInFlowXonXoff:
        case kInFlowHardware:
          dcb->fInX = v == kInFlowXonXoff;
          if (v == kInFlowHardware) dcb->fRtsControl = RTS_CONTROL_HANDSHAKE;
          if (v != kInFlowHardware && dcb->fRtsControl == RTS_CONTROL_HANDSHAKE) {
            dcb->fRtsControl = RTS_CONTROL_ENABLE;
          }
          return true;
        case kDtrOn:
        case kDtrOff:
          dcb->fDtrControl = v == kDtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
          return true;
        case kRtsOn:
        case kRtsOff:
          dcb->fRtsControl = v == kRtsOn ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
          return true;
        default:
          return v <= kInFlowHardware;  // queries and break: nothing in the DCB
      }
    default:
      return false;
  }
}

std::vector<BYTE> AnswerFromDcb(BYTE command, BYTE asked, const DCB& dcb, bool breakOn) {
  PortSettings s = SettingsOf(dcb);
  switch (command) {
    case kSetBaudRate:
      return BigEndian32(s.baud);
    case kSetDataSize:
      return {s.dataSize};
    case kSetParity:
      return {s.parity};
    case kSetStopSize:
      return {s.stopSize};
    case kSetControl:
      if (asked <= kOutFlowHardware) return {s.outFlow};
      if (asked <= kBreakOff) return {static_cast<BYTE>(breakOn ? kBreakOn : kBreakOff)};
      if (asked <= kDtrOff) return {s.dtr};
      if (asked <= kRtsOff) return {s.rts == 0 ? static_cast<BYTE>(kRtsOn) : s.rts};
      return {s.inFlow};
    default:
      return {asked};
  }
}

DWORD LineErrors(BYTE lineState, DWORD* events) {
  DWORD errors = 0;
  if (lineState & kLineOverrun) errors |= CE_OVERRUN;
  if (lineState & kLineParityError) errors |= CE_RXPARITY;
  if (lineState & kLineFramingError) errors |= CE_FRAME;
  if (lineState & kLineBreak) errors |= CE_BREAK;
  *events = 0;
  if (errors & (CE_OVERRUN | CE_RXPARITY | CE_FRAME)) *events |= EV_ERR;
  if (errors & CE_BREAK) *events |= EV_BREAK;
  return errors;
}

BYTE LineStateOf(DWORD errors) {
  BYTE s = 0;
  if (errors & CE_OVERRUN) s |= kLineOverrun;
  if (errors & CE_RXPARITY) s |= kLineParityError;
  if (errors & CE_FRAME) s |= kLineFramingError;
  if (errors & CE_BREAK) s |= kLineBreak;
  return s;
}

namespace {
// Level bit, change bit, MS_ bit, event.
struct ModemLine {
  BYTE level;
  BYTE change;
  DWORD ms;
  DWORD event;
};
constexpr ModemLine kModemLines[] = {{0x10, kModemCtsChanged, MS_CTS_ON, EV_CTS},
                                     {0x20, kModemDsrChanged, MS_DSR_ON, EV_DSR},
                                     {0x80, kModemDcdChanged, MS_RLSD_ON, EV_RLSD}};
constexpr BYTE kRingLevel = 0x40;
}  // namespace

DWORD ModemLevels(BYTE modemState, DWORD* events) {
  DWORD levels = 0;
  *events = 0;
  for (const ModemLine& l : kModemLines) {
    if (modemState & l.level) levels |= l.ms;
    if (modemState & l.change) *events |= l.event;
  }
  if (modemState & kRingLevel) levels |= MS_RING_ON;
  if (modemState & kModemRingEnded) *events |= EV_RINGTE;
  return levels;
}

BYTE ModemStateOf(DWORD levels, DWORD before) {
  BYTE s = 0;
  for (const ModemLine& l : kModemLines) {
    if (levels & l.ms) s |= l.level;
    if ((levels ^ before) & l.ms) s |= l.change;
  }
  if (levels & MS_RING_ON) s |= kRingLevel;
  if ((before & MS_RING_ON) && !(levels & MS_RING_ON)) s |= kModemRingEnded;
  return s;
}

std::string RequestName(BYTE command, BYTE value) {
  static const char* const kNames[] = {"SIGNATURE",          "SET-BAUDRATE",       "SET-DATASIZE",
                                       "SET-PARITY",         "SET-STOPSIZE",       "SET-CONTROL",
                                       "NOTIFY-LINESTATE",   "NOTIFY-MODEMSTATE",  "FLOWCONTROL-SUSPEND",
                                       "FLOWCONTROL-RESUME", "SET-LINESTATE-MASK", "SET-MODEMSTATE-MASK",
                                       "PURGE-DATA"};
  // Appended piece by piece, not "literal + string": GCC 12 at -O3 warns
  // falsely about overlapping copies there.
  std::string name = command <= kPurgeData ? kNames[command] : "COMMAND ";
  if (command > kPurgeData) name += std::to_string(command);
  if (command == kSetControl) {
    name += ' ';
    name += std::to_string(value);
  }
  return name;
}

}  // namespace veravo::win::net::comport
