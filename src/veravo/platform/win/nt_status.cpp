#include <veravo/platform/win/nt_status.h>

#include <utility>

namespace veravo::win::detail {
namespace {

// The pairs the comm layer needs, as Windows maps them.
constexpr std::pair<DWORD, ULONG_PTR> kPairs[] = {
    {ERROR_SUCCESS, 0x00000000},            // STATUS_SUCCESS
    {ERROR_OPERATION_ABORTED, 0xC0000120},  // STATUS_CANCELLED
    {ERROR_BAD_COMMAND, 0xC0000184},        // STATUS_INVALID_DEVICE_STATE
    {ERROR_GEN_FAILURE, 0xC0000001},        // STATUS_UNSUCCESSFUL
    {ERROR_ACCESS_DENIED, 0xC0000022},      // STATUS_ACCESS_DENIED
    {ERROR_INVALID_HANDLE, 0xC0000008},     // STATUS_INVALID_HANDLE
    {ERROR_INVALID_PARAMETER, 0xC000000D},  // STATUS_INVALID_PARAMETER
    {ERROR_NOT_ENOUGH_MEMORY, 0xC0000017},  // STATUS_NO_MEMORY
    {ERROR_NOT_READY, 0xC00000A3},          // STATUS_DEVICE_NOT_READY
    {ERROR_NOT_SUPPORTED, 0xC00000BB},      // STATUS_NOT_SUPPORTED
};

}  // namespace

ULONG_PTR NtStatusFromError(DWORD error) {
  for (const auto& [code, status] : kPairs) {
    if (code == error) return status;
  }
  return 0xC0000001;  // STATUS_UNSUCCESSFUL
}

ULONG_PTR ErrorFromNtStatus(ULONG_PTR status) {
  if (status == STATUS_PENDING) return status;
  for (const auto& [code, nt] : kPairs) {
    if (nt == status) return code;
  }
  return ERROR_GEN_FAILURE;
}

}  // namespace veravo::win::detail
