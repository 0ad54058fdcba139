#include <map>
#include <mutex>
#include <string>

#include "winapi_errors.h"
#include "winapi_user.h"

namespace {

constexpr UINT kFirstRegisteredMessage = 0xC000;
constexpr UINT kLastRegisteredMessage = 0xFFFF;
constexpr std::uintptr_t kFirstWindowHandle = 0x10000;  // well away from null

struct RegisteredMessages {
    std::mutex lock;
    std::map<std::string, UINT> ids;
};

RegisteredMessages& Registered() {
    static RegisteredMessages registered;  // usable during static initialisation
    return registered;
}

// Handles are plain numbers turned into pointers: they are never
// dereferenced, and a handle is never reused, so a stale one stays invalid.
struct WindowTable {
    std::mutex lock;
    std::map<HWND, WindowMessageSink> sinks;
    std::uintptr_t nextHandle = kFirstWindowHandle;
};

WindowTable& Windows() {
    static WindowTable table;
    return table;
}

}  // namespace

UINT RegisterWindowMessageA(LPCSTR name) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RegisteredMessages& registered = Registered();
    std::lock_guard guard(registered.lock);
    auto [it, inserted] = registered.ids.try_emplace(name, 0);
    if (inserted) {
        const auto next = kFirstRegisteredMessage + static_cast<UINT>(registered.ids.size() - 1);
        if (next > kLastRegisteredMessage) {
            registered.ids.erase(it);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        it->second = next;
    }
    return it->second;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowTable& table = Windows();
    // The sink runs under the lock so that DestroyWindowHandle cannot return
    // while a message is being handed to a window that is going away.
    std::lock_guard guard(table.lock);
    const auto it = table.sinks.find(window);
    if (it == table.sinks.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    it->second(message, wParam, lParam);
    return TRUE;
}

HWND CreateWindowHandle(WindowMessageSink sink) {
    WindowTable& table = Windows();
    std::lock_guard guard(table.lock);
    HWND handle = reinterpret_cast<HWND>(table.nextHandle++);
    table.sinks.emplace(handle, std::move(sink));
    return handle;
}

void DestroyWindowHandle(HWND window) {
    WindowTable& table = Windows();
    std::lock_guard guard(table.lock);
    table.sinks.erase(window);
}
