// Handles on Linux: every event, thread and port is an object in one
// process-wide table, and a HANDLE is its number. Numbers are never reused,
// so a stale or foreign handle is refused (6) instead of reaching freed
// memory, and an object lives on while a call that looked it up still runs.
#pragma once

#include <memory>
#include <typeinfo>

#include "winapi_errors.h"
#include "winapi_types.h"

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Called once by CloseHandle, after the handle has left the table.
    virtual void OnClose() {}
};

HANDLE RegisterKernelObject(std::shared_ptr<KernelObject> object);

// The object behind `handle` as the type `type` names, sharing its
// ownership, or null when there is none or it is not one. `cast` finds it;
// the table keeps what it found for the next look-up as the same type, as
// every call on a handle looks it up and a handle is nearly always looked
// up as one type.
std::shared_ptr<void> LookUpKernelObjectAs(HANDLE handle, const std::type_info& type,
                                           void* (*cast)(KernelObject& object));

// The object behind `handle` if it is a T; otherwise null, with last error 6.
template <typename T>
std::shared_ptr<T> LookUpKernelObject(HANDLE handle) {
    auto typed = std::static_pointer_cast<T>(
        LookUpKernelObjectAs(handle, typeid(T), [](KernelObject& object) -> void* {
            return dynamic_cast<T*>(&object);
        }));
    if (typed == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return typed;
}
