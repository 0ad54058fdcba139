// Framework-internal: what the message boxes need from the window system.
#pragma once

#include <string_view>

#include "DialogResults.h"
#include "winapi_types.h"

// Whether a box of `type` asks Yes or No rather than showing OK.
inline bool AsksYesNo(UINT type) {
    constexpr UINT kButtonBits = 0x0F;  // the buttons part of a box type
    return (type & kButtonBits) == MB_YESNO;
}

// Shows the box to the operator and returns the button pressed (IDOK; IDYES
// or IDNO for MB_YESNO). Window timers and posted messages keep being
// delivered while it waits.
int ShowMessageBox(std::string_view text, UINT type);

// Delivers window timers and posted messages for `durationMs` milliseconds,
// then returns.
void KeepEventsRunningFor(int durationMs);
