// For the Windows compile check only: the window-object role as the serial
// classes use it (a window handle or none), standing in for the framework's
// CWnd where that framework is not installed.
#pragma once

#include <windows.h>

class CWnd {
public:
    virtual ~CWnd() = default;
    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    HWND m_hWnd = nullptr;
};
