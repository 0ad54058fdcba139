#include "PreciseTimers.h"

#include <windows.h>

#include <timeapi.h>

namespace {

// The system timer's period asked for while a port is open, in milliseconds.
constexpr UINT kTimerPeriodMs = 1;

// Windows 11 ignores a program's timer resolution while its windows are
// minimised or hidden, and an operator may well minimise the window for the
// 40 s of an update. The program opts out of that throttling. The call
// exists from Windows 8 on; on Windows 7 timers always follow the request.
void KeepTimerResolutionWhenHidden() {
    using SetProcessInformationCall = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setProcessInformation = reinterpret_cast<SetProcessInformationCall>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetProcessInformation")));
    if (setProcessInformation == nullptr) {
        return;
    }
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;  // not throttled: the resolution asked for holds
    // A system that does not know the setting refuses it; timers then follow
    // the request as they always did.
    setProcessInformation(::GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

}  // namespace

void HoldPreciseTimers() {
    static const bool optedOut = (KeepTimerResolutionWhenHidden(), true);
    (void)optedOut;
    ::timeBeginPeriod(kTimerPeriodMs);
}

void ReleasePreciseTimers() {
    ::timeEndPeriod(kTimerPeriodMs);
}
