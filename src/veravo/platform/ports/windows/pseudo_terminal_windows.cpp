#include <veravo/platform/ports/pseudo_terminal.h>

namespace veravo {

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(std::string* error) {
  *error = "pseudo-terminals are not available on Windows (use a virtual COM port pair)";
  return nullptr;
}

}  // namespace veravo
