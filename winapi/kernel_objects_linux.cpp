#include "kernel_objects.h"

#include <map>
#include <mutex>

#include "winapi_comm.h"

namespace {

// Handle numbers step by 4 as Win32's do and start well away from null.
constexpr std::uintptr_t kFirstHandle = 0x1000;
constexpr std::uintptr_t kHandleStep = 4;

struct HandleTable {
    std::mutex lock;
    std::map<HANDLE, std::shared_ptr<KernelObject>> objects;
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
    table.objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> LookUpAnyKernelObject(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    const auto it = table.objects.find(handle);
    return it != table.objects.end() ? it->second : nullptr;
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
        closing = std::move(it->second);
        table.objects.erase(it);
    }
    closing->OnClose();
    return TRUE;
}
