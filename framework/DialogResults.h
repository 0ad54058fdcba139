// The codes with which a modal dialog or a message box ends: IDOK, IDCANCEL,
// the platform's own values.
#pragma once

#include "winapi_dialog_codes.h"
