// Framework-internal: what exists of a CDialog only while its modal run
// lasts, on Win32. The dialog procedure fills it when the window starts.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "Dialog.h"
#include "DialogItem.h"
#include "DialogResults.h"

struct CDialog::Window {
    HWND hwnd = nullptr;                               // null until the window starts
    std::map<int, std::unique_ptr<DialogItem>> items;  // by control id
    std::vector<CControl*> boundControls;              // members bound by DDX_Control; not owned
    std::set<UINT_PTR> timers;                             // running window timers
    bool ended = false;
    int result = IDCANCEL;
};
