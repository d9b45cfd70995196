#include <veravo/serial/fatal_error.h>

#include <cstdio>
#include <cstdlib>

namespace veravo {

void FatalInternalError(const char* what) {
  std::fprintf(stderr, "veravo: fatal internal error: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace veravo
