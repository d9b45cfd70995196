// The process-wide table that maps HANDLE values to the emulation's kernel
// objects (on Windows only the comm handles of virtual lines).
//
// Values come from NewHandleValue: on POSIX a counter that only grows, so a
// closed handle keeps failing with ERROR_INVALID_HANDLE; on Windows a value
// the operating system holds for us, so it never equals one of its handles.
#pragma once

#include <veravo/platform/win/kernel_object.h>
#include <veravo/platform/win/win_types.h>

#include <memory>

namespace veravo::win::detail {

// Enters an object and returns its new handle.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
// The object of a handle, or null for an unknown, closed or invalid one.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Takes a handle out of the table and returns its object (null if unknown).
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

}  // namespace veravo::win::detail
