#include <sys/ioctl.h>
#include <veravo/platform/win/posix/termios_custom_baud.h>

namespace veravo::win::detail {
namespace {

// The kernel's termios2 (include/uapi/asm-generic/termbits.h): like struct
// termios with explicit input and output speeds.
struct termios2 {
  unsigned int c_iflag;
  unsigned int c_oflag;
  unsigned int c_cflag;
  unsigned int c_lflag;
  unsigned char c_line;
  unsigned char c_cc[19];
  unsigned int c_ispeed;
  unsigned int c_ospeed;
};

constexpr unsigned int kCbaud = 0010017;
constexpr unsigned int kBother = 0010000;
constexpr unsigned int kIbshift = 16;

#ifndef TCGETS2
#define TCGETS2 _IOR('T', 0x2A, struct termios2)
#endif
#ifndef TCSETS2
#define TCSETS2 _IOW('T', 0x2B, struct termios2)
#endif

}  // namespace

bool SetCustomBaudRate(int fd, unsigned baud) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~(kCbaud | (kCbaud << kIbshift));
  tio.c_cflag |= kBother | (kBother << kIbshift);
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace veravo::win::detail
