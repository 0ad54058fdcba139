// The console's control handler runs on a thread of its own, which may post
// to the event loop as any thread may. Ctrl+C and Ctrl+Break are taken; a
// closing console ends the process as the system decides.
#include <windows.h>

#include "ConsoleOperator.h"
#include "Interrupt.h"

namespace {

std::function<void()> g_onInterrupt;  // set once, before the handler is installed

BOOL WINAPI OnControlEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    PostToConsoleLoop(g_onInterrupt);
    return TRUE;
}

}  // namespace

void CatchInterrupts(std::function<void()> onInterrupt) {
    g_onInterrupt = std::move(onInterrupt);
    SetConsoleCtrlHandler(&OnControlEvent, TRUE);
}
