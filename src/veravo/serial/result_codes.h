// Result codes of the serial port engine: 0 is success, every failure is
// negative. ErrorText turns each into its message text.
#pragma once

namespace veravo::result {

constexpr int Success = 0;

// Warnings.
constexpr int GeneralWarning = -100;
constexpr int NotSupported = -99;
constexpr int Timeout = -98;  // a transfer moved fewer bytes than asked
constexpr int IllegalBaudRate = -97;
constexpr int IllegalParity = -96;
constexpr int IllegalWordLength = -95;
constexpr int IllegalStopBits = -94;
constexpr int IllegalLineNumber = -93;
constexpr int NoModemResponse = -92;
constexpr int NoTerminator = -91;
constexpr int DtrNotSupported = -90;
constexpr int RtsNotSupported = -89;
constexpr int RtsCtsNotSupported = -88;
constexpr int DtrDsrNotSupported = -87;
constexpr int XonXoffNotSupported = -86;

// Fatal errors.
constexpr int GeneralError = -500;
constexpr int IrqInUse = -499;
constexpr int PortNotFound = -498;
constexpr int PortInUse = -497;
constexpr int OperationAborted = -496;
constexpr int IllegalIrq = -495;
constexpr int OutOfMemory = -494;

// Platform port failures.
constexpr int PlatformError = -493;  // details in m_dwWindowsError
constexpr int SetParametersFailed = -492;
constexpr int HandshakeLineInUse = -491;

}  // namespace veravo::result
