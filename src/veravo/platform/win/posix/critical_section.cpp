#include <veravo/platform/win/win_api.h>

#include <mutex>

namespace veravo::win {

// A critical section is a recursive mutex, so its owner may enter it again.
void InitializeCriticalSection(CRITICAL_SECTION* section) { section->Impl = new std::recursive_mutex; }

void DeleteCriticalSection(CRITICAL_SECTION* section) {
  delete static_cast<std::recursive_mutex*>(section->Impl);
  section->Impl = nullptr;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
  static_cast<std::recursive_mutex*>(section->Impl)->lock();
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
  static_cast<std::recursive_mutex*>(section->Impl)->unlock();
}

}  // namespace veravo::win
