#include <veravo/platform/win/win_api.h>

namespace veravo::win {
namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

}  // namespace veravo::win
