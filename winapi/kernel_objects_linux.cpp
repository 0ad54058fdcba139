#include "kernel_objects.h"

#include <unordered_map>
#include <mutex>

#include "winapi_comm.h"

namespace {

// Handle numbers step by 4 as Win32's do and start well away from null.
constexpr std::uintptr_t kFirstHandle = 0x1000;
constexpr std::uintptr_t kHandleStep = 4;

struct HandleEntry {
    std::shared_ptr<KernelObject> object;
    // What the last typed look-up found: the type it asked for and the
    // object as that type (null: it is not one).
    const std::type_info* castTo = nullptr;
    void* cast = nullptr;
};

struct HandleTable {
    std::mutex lock;
    // Every call on a handle looks it up: a hash finds it in one step.
    std::unordered_map<HANDLE, HandleEntry> objects;
    std::uintptr_t nextHandle = kFirstHandle;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

}  // namespace

HANDLE RegisterKernelObject(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    HANDLE handle = reinterpret_cast<HANDLE>(table.nextHandle);
    table.nextHandle += kHandleStep;
    table.objects.emplace(handle, HandleEntry{std::move(object)});
    return handle;
}

std::shared_ptr<void> LookUpKernelObjectAs(HANDLE handle, const std::type_info& type,
                                           void* (*cast)(KernelObject& object)) {
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    const auto it = table.objects.find(handle);
    if (it == table.objects.end()) {
        return nullptr;
    }
    HandleEntry& entry = it->second;
    if (entry.castTo == nullptr || *entry.castTo != type) {
        entry.castTo = &type;
        entry.cast = cast(*entry.object);
    }
    if (entry.cast == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<void>(entry.object, entry.cast);
}

BOOL CloseHandle(HANDLE object) {
    std::shared_ptr<KernelObject> closing;
    {
        HandleTable& table = Table();
        std::lock_guard guard(table.lock);
        const auto it = table.objects.find(object);
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        closing = std::move(it->second.object);
        table.objects.erase(it);
    }
    closing->OnClose();
    return TRUE;
}
