// Module resources on Win32: the resources linked into the program file
// (res/ziron7-flasher.rc).
#include "Resources.h"

#include <windows.h>

std::span<const std::uint8_t> FindModuleResource(const char* type, int id) {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) {
        return {};
    }
    const HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    // The bytes are mapped with the module and stay until the program ends.
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    return {static_cast<const std::uint8_t*>(bytes), size};
}
