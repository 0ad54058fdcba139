// A Windows console prints escape sequences as text unless asked for
// virtual-terminal processing, which only Windows 10 and later grant. The
// console belongs to whoever started the program (cmd.exe, a script's
// window): its mode is theirs again once the program ends.
#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "TerminalEscapes.h"

namespace {

HANDLE g_changedConsole = INVALID_HANDLE_VALUE;  // the console whose mode was changed
DWORD g_modeBefore = 0;

void RestoreConsoleMode() {
    SetConsoleMode(g_changedConsole, g_modeBefore);
}

}  // namespace

bool EnableTerminalEscapes(std::FILE* out) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) {
        return false;  // a file or a pipe
    }
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
        return true;
    }
    if (SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
        return false;  // a console before Windows 10 knows no such mode
    }
    if (g_changedConsole == INVALID_HANDLE_VALUE) {
        g_changedConsole = handle;
        g_modeBefore = mode;
        std::atexit(&RestoreConsoleMode);
    }
    return true;
}
