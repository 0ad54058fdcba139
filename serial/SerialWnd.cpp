#include "SerialWnd.h"

namespace {

constexpr DWORD kLowWord = 0xFFFF;
constexpr int kHighWordShift = 16;

}  // namespace

const UINT serialDefaultComMessage = ::RegisterWindowMessageA("CSerialWnd_DefaultComMsg");

DWORD NotifiedEvents(WPARAM wParam) {
    return static_cast<DWORD>(wParam & kLowWord);
}

CSerialWnd::~CSerialWnd() {
    CloseBeforeDestruction();
}

LONG CSerialWnd::Open(LPCSTR portName, HWND owner, UINT message, LPARAM param, DWORD inQueueSize,
                      DWORD outQueueSize) {
    lastError.store(0);
    const LONG opened = CSerialListener::Open(portName, inQueueSize, outQueueSize, false);
    if (opened != 0) {
        return opened;
    }
    // Set before the thread starts, so the first event reaches this owner.
    ownerWindow.store(owner);
    notifyMessage.store(message != 0 ? message : serialDefaultComMessage);
    userParam.store(param);
    const LONG started = StartListener();
    if (started != 0) {
        Close();
        return Finish(started);
    }
    return Finish(0);
}

LONG CSerialWnd::Close() {
    lastError.store(0);
    ownerWindow.store(nullptr);
    notifyMessage.store(0);
    return CSerialListener::Close();
}

LONG CSerialWnd::OnEvent(DWORD events, DWORD errors) {
    // The message is read before the window: Close clears the window first,
    // so a cleared message always comes with a cleared window and a
    // notification raised during Close reaches no window at all.
    const UINT message = notifyMessage.load();
    const HWND window = ownerWindow.load();
    const auto wParam =
        static_cast<WPARAM>((events & kLowWord) | ((errors & kLowWord) << kHighWordShift));
    return ::PostMessageA(window, message, wParam, userParam.load());
}

void CSerialWnd::OnLineLost(LONG) {
    OnEvent(kLineLostEvent, 0);
}

void CSerialWnd::SetOwner(HWND owner) {
    ownerWindow.store(owner);
}
