// An outside program built against an installed veravo package: it links
// the comm layer and the string class, and reads a settings text.
#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/win/win.h>

#include <cstdio>

int main() {
  veravo::win::DCB dcb{};
  const bool read = veravo::win::BuildCommDCBA("4800,E,7,1", &dcb) && dcb.Parity == veravo::win::EVENPARITY;
  std::printf("%s\n", veravo::Trim(" consumer ok ").c_str());
  return read ? 0 : 1;
}
