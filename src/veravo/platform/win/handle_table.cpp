#include <veravo/platform/win/handle_table.h>
#include <veravo/platform/win/native_calls.h>

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace veravo::win {
namespace detail {
namespace {

struct HandleTable {
  std::mutex lock;
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
  HANDLE value = NewHandleValue();
  table.objects.emplace(reinterpret_cast<std::uintptr_t>(value), std::move(object));
  return value;
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
  ReleaseHandleValue(handle);
  return object;
}

}  // namespace detail
}  // namespace veravo::win
