// Line speeds that have no Bnnn constant, set through the termios2 ioctls.
// Kept apart from <termios.h>, whose struct termios clashes with the
// kernel's.
#pragma once

namespace veravo::win::detail {

// Sets input and output speed of the tty `fd` to `baud` bits per second.
// Returns false (errno set) when the device refuses it.
bool SetCustomBaudRate(int fd, unsigned baud);

}  // namespace veravo::win::detail
