// The window-object role: anything that can own a window handle and so be
// the target of posted messages (the serial port's notifications among them).
// Holds no Qt types so that the serial classes can take a window object, and
// takes its Win32 types from the platform header so that the Windows compile
// check uses this same class.
#pragma once

#include "winapi.h"

class CWnd {
public:
    virtual ~CWnd() = default;

    // The handle while the window exists, null otherwise.
    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;  // owned by the derived window; see CreateWindowHandle
};
