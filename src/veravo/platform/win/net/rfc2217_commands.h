// The com-port commands carried in Telnet sub-negotiations of option 44:
// their codes, their encoding, and their translation to and from the DCB,
// the CE_/EV_ bits and the MS_ modem bits of the comm layer.
#pragma once

#include <veravo/platform/win/win_types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace veravo::win::net::comport {

enum Command : BYTE {
  kSignature = 0,
  kSetBaudRate = 1,
  kSetDataSize = 2,
  kSetParity = 3,
  kSetStopSize = 4,
  kSetControl = 5,
  kNotifyLineState = 6,
  kNotifyModemState = 7,
  kFlowControlSuspend = 8,
  kFlowControlResume = 9,
  kSetLineStateMask = 10,
  kSetModemStateMask = 11,
  kPurgeData = 12,
};
// A server's answer carries the client's command code plus this.
constexpr BYTE kServerOffset = 100;

// SET-CONTROL values.
enum Control : BYTE {
  kOutFlowQuery = 0,
  kOutFlowNone = 1,
  kOutFlowXonXoff = 2,
  kOutFlowHardware = 3,
  kBreakQuery = 4,
  kBreakOn = 5,
  kBreakOff = 6,
  kDtrQuery = 7,
  kDtrOn = 8,
  kDtrOff = 9,
  kRtsQuery = 10,
  kRtsOn = 11,
  kRtsOff = 12,
  kInFlowQuery = 13,
  kInFlowNone = 14,
  kInFlowXonXoff = 15,
  kInFlowHardware = 16,
};

// Line-state bits.
constexpr BYTE kLineOverrun = 0x02;
constexpr BYTE kLineParityError = 0x04;
constexpr BYTE kLineFramingError = 0x08;
constexpr BYTE kLineBreak = 0x10;
constexpr BYTE kLineHoldingEmpty = 0x20;
constexpr BYTE kLineShiftEmpty = 0x40;

// Modem-state bits: changes in the low nibble, levels in the high one.
constexpr BYTE kModemCtsChanged = 0x01;
constexpr BYTE kModemDsrChanged = 0x02;
constexpr BYTE kModemRingEnded = 0x04;
constexpr BYTE kModemDcdChanged = 0x08;

// PURGE-DATA values.
constexpr BYTE kPurgeReceive = 1;
constexpr BYTE kPurgeTransmit = 2;
constexpr BYTE kPurgeBoth = 3;

// IAC SB 44 `command` `value` (IAC doubled) IAC SE.
std::vector<BYTE> Encode(BYTE command, const std::vector<BYTE>& value);
// A 4-byte value in network order (SET-BAUDRATE).
std::vector<BYTE> BigEndian32(std::uint32_t value);
std::uint32_t ReadBigEndian32(const std::vector<BYTE>& value, std::size_t at);

// The settings of a DCB as the command values that carry them.
struct PortSettings {
  std::uint32_t baud = 0;
  BYTE dataSize = 8;
  BYTE parity = 1;    // 1 none, 2 odd, 3 even, 4 mark, 5 space
  BYTE stopSize = 1;  // 1 one, 2 two, 3 one and a half
  BYTE outFlow = kOutFlowNone;
  BYTE inFlow = kInFlowNone;
  BYTE dtr = kDtrOn;
  BYTE rts = kRtsOn;  // 0 when RTS is the handshake line (inbound flow control)
};
PortSettings SettingsOf(const DCB& dcb);
// The commands that take a server from `from` to `to`, in the order a
// change of format takes effect (all of them when `from` is null).
std::vector<std::vector<BYTE>> CommandsFor(const PortSettings* from, const PortSettings& to);
// Applies one received setting command to a DCB. False for an unknown
// command or value (the DCB is left alone); a zero value asks and changes nothing.
bool ApplyToDcb(BYTE command, const std::vector<BYTE>& value, DCB* dcb);
// The value a server answers a setting command with, from the DCB in force.
std::vector<BYTE> AnswerFromDcb(BYTE command, BYTE asked, const DCB& dcb, bool breakOn);

// NOTIFY-LINESTATE bits -> CE_ errors; *events gets EV_ERR / EV_BREAK.
DWORD LineErrors(BYTE lineState, DWORD* events);
// CE_ errors -> line-state bits.
BYTE LineStateOf(DWORD errors);
// NOTIFY-MODEMSTATE -> MS_ levels; *events gets EV_CTS / EV_DSR / EV_RLSD /
// EV_RING / EV_RINGTE for the lines that changed.
DWORD ModemLevels(BYTE modemState, DWORD* events);
// MS_ levels now and before -> NOTIFY-MODEMSTATE bits.
BYTE ModemStateOf(DWORD levels, DWORD before);

// A readable name for a request, such as "SET-CONTROL 8" ("DTR on").
std::string RequestName(BYTE command, BYTE value);

}  // namespace veravo::win::net::comport
