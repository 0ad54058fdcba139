// On Windows the dialog framework speaks in the system's own dialog, message
// box and common-control codes.
#pragma once

#include <windows.h>
// The common controls' codes follow the window system's.
#include <commctrl.h>
