#include "SerialCWnd.h"

namespace {

HWND HandleOf(const CWnd* owner) {
    return owner != nullptr ? owner->GetSafeHwnd() : nullptr;
}

}  // namespace

CSerialCWnd::~CSerialCWnd() {
    CloseBeforeDestruction();
}

LONG CSerialCWnd::Open(LPCSTR portName, CWnd* owner, UINT message, LPARAM param, DWORD inQueueSize,
                       DWORD outQueueSize) {
    return CSerialWnd::Open(portName, HandleOf(owner), message, param, inQueueSize, outQueueSize);
}

void CSerialCWnd::SetOwner(CWnd* owner) {
    ownerWindow.store(HandleOf(owner));
}
