// A listening serial port that reports port events to an owner window as a
// posted message: wParam has the EV_ bits in its low word and the CE_ bits
// in its high word, lParam is the user value given to Open.
#pragma once

#include <atomic>

#include "SerialListener.h"

// The id registered for "CSerialWnd_DefaultComMsg" during static
// initialisation: the message posted unless Open names another one.
extern const UINT serialDefaultComMessage;

// The EV_ bits that a notification's wParam carries.
DWORD NotifiedEvents(WPARAM wParam);

// The bit a notification carries in place of the EV_ bits when the port's
// event wait failed: the device went away (an adapter pulled out) and no
// more notifications follow. The system's EV_ bits end below it.
inline constexpr DWORD kLineLostEvent = 0x8000;

class CSerialWnd : public CSerialListener {
public:
    ~CSerialWnd() override;

    using CSerialListener::Open;
    // Detaches the owner, then stops the thread and closes the port.
    LONG Close() override;
    // Posts the notification; a window that no longer exists loses it.
    LONG OnEvent(DWORD events, DWORD errors) override;
    // Posts the notification with kLineLostEvent alone.
    void OnLineLost(LONG error) override;

    // Opens the port and starts the listener with `ownerWindow` (may be null)
    // as the receiver of `message` (0: serialDefaultComMessage). The owner is
    // not owned. A thread that cannot start leaves everything closed.
    virtual LONG Open(LPCSTR portName, HWND ownerWindow, UINT message, LPARAM userParam,
                      DWORD inQueueSize, DWORD outQueueSize);
    // Later notifications go to `ownerWindow`; message and lParam stay.
    virtual void SetOwner(HWND ownerWindow);

protected:
    // Written by the UI thread, read by the listener for each notification.
    std::atomic<HWND> ownerWindow{nullptr};
    std::atomic<UINT> notifyMessage{0};
    std::atomic<LPARAM> userParam{0};
};
