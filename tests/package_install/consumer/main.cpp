// An outside program built against an installed veravo package.
#include <veravo/platform/vcl/ansi_string.h>
#include <veravo/platform/win/win.h>

#include <cstdio>

int main() {
  veravo::win::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!veravo::win::BuildCommDCBA("4800,E,7,1", &dcb)) return 1;
  if (dcb.BaudRate != 4800 || dcb.ByteSize != 7 || dcb.Parity != veravo::win::EVENPARITY) return 2;
  veravo::AnsiString text = veravo::Trim(" consumer ok ");
  std::printf("%s\n", text.c_str());
  return text == "consumer ok" ? 0 : 3;
}
