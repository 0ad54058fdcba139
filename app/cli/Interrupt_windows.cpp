// The console's control handler runs on a thread of its own, which may post
// to the event loop as any thread may. Ctrl+C and Ctrl+Break are taken and
// end the process as Ctrl+C does in a shell (130); a closing console ends
// the process as the system decides.
#include <windows.h>

#include "ConsoleOperator.h"
#include "ExitCodes.h"
#include "Interrupt.h"

namespace {

std::function<void(int)> g_onInterrupt;  // set once, before the handler is installed

BOOL WINAPI OnControlEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    PostToConsoleLoop([] { g_onInterrupt(kExitInterrupted); });
    return TRUE;
}

}  // namespace

void CatchInterrupts(std::function<void(int exitCode)> onInterrupt) {
    g_onInterrupt = std::move(onInterrupt);
    SetConsoleCtrlHandler(&OnControlEvent, TRUE);
}
