// Internal errors the engine cannot recover from (an event that cannot be
// created, a wait that ends in an impossible way): report and abort.
#pragma once

namespace veravo {

// Writes "veravo: fatal internal error: <what>" to stderr and aborts the
// process.
[[noreturn]] void FatalInternalError(const char* what);

}  // namespace veravo
