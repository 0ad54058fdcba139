// The resource ids the tests find dialogs and controls by: a running dialog's
// window is named after its template id, a control's widget after its id.
#pragma once

#include "winapi_types.h"

// Dialog templates.
inline constexpr UINT kPortDialog = 132;
inline constexpr UINT kUpdateDialog = 134;
inline constexpr UINT kAboutBox = 148;

// Controls.
inline constexpr int kPortList = 1147;     // port dialog: the COM ports
inline constexpr int kStatusLine = 1153;   // port dialog: what the search is doing
inline constexpr int kProgress = 1164;     // update dialog: the progress bar
inline constexpr int kHelpButton = 1167;   // port dialog: opens the About box
inline constexpr int kVersionLine = 1194;  // About box: the program's version
inline constexpr int kLog = 1197;          // update dialog: one line per event
