#include <windows.h>

#include <string>

#include "UserFolders.h"

std::filesystem::path UserDataFolder() {
    constexpr const wchar_t* kVariable = L"LOCALAPPDATA";
    // The first call tells the room needed, terminator included.
    const DWORD room = ::GetEnvironmentVariableW(kVariable, nullptr, 0);
    if (room == 0) {
        return {};
    }
    std::wstring value(room, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(kVariable, value.data(), room);
    if (length == 0 || length >= room) {
        return {};
    }
    value.resize(length);
    return value;
}

std::filesystem::path UserConfigFolder() {
    return UserDataFolder();
}
