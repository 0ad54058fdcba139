// Handles on Linux: every event, thread and port is an object in one
// process-wide table, and a HANDLE is its number. Numbers are never reused,
// so a stale or foreign handle is refused (6) instead of reaching freed
// memory, and an object lives on while a call that looked it up still runs.
#pragma once

#include <memory>

#include "winapi_errors.h"
#include "winapi_types.h"

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Called once by CloseHandle, after the handle has left the table.
    virtual void OnClose() {}
};

HANDLE RegisterKernelObject(std::shared_ptr<KernelObject> object);

// The object behind `handle`, or null.
std::shared_ptr<KernelObject> LookUpAnyKernelObject(HANDLE handle);

// The object behind `handle` if it is a T; otherwise null, with last error 6.
template <typename T>
std::shared_ptr<T> LookUpKernelObject(HANDLE handle) {
    auto typed = std::dynamic_pointer_cast<T>(LookUpAnyKernelObject(handle));
    if (typed == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return typed;
}
