// The listening serial port with its owner given as a window object: the
// notifications go to the window handle that the object holds.
#pragma once

#include "SerialWnd.h"
#include "Wnd.h"

class CSerialCWnd : public CSerialWnd {
public:
    // Stops the listener before any part of the object goes.
    ~CSerialCWnd() override;

    using CSerialWnd::Open;
    using CSerialWnd::SetOwner;

    // As the window-handle form, with the handle of `owner` (null: no window).
    virtual LONG Open(LPCSTR portName, CWnd* owner, UINT message, LPARAM userParam,
                      DWORD inQueueSize, DWORD outQueueSize);
    virtual void SetOwner(CWnd* owner);
};
