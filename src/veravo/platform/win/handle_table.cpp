#include <veravo/platform/win/handle_table.h>
#include <veravo/platform/win/win_api.h>

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace veravo::win {
namespace detail {
namespace {

struct HandleTable {
  std::mutex lock;
  // Handle values are multiples of 4, as on Windows, starting well away from
  // null and INVALID_HANDLE_VALUE.
  std::uintptr_t next = 0x1000;
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
};

HandleTable& Table() {
  // Never destroyed: handles may still be closed from thread-exit code.
  static HandleTable* table = new HandleTable;
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  std::uintptr_t value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == table.objects.end()) return nullptr;
  std::shared_ptr<KernelObject> object = std::move(it->second);
  table.objects.erase(it);
  return object;
}

}  // namespace detail

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<detail::KernelObject> object = detail::RemoveHandle(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Outside the table lock: closing a comm handle stops its device thread.
  object->Close();
  return TRUE;
}

}  // namespace veravo::win
