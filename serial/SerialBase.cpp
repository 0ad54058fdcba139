#include "SerialBase.h"

#include <algorithm>
#include <cstring>

#include "PreciseTimers.h"
#include "SessionEvents.h"
#include "WriteLimit.h"

namespace {

// The mask a port gets on opening: received characters, breaks and errors.
constexpr DWORD kOpenEventMask = EV_RXCHAR | EV_BREAK | EV_ERR;

// The rate a port is set to on opening, in baud, until Configure sets the
// one wanted.
constexpr DWORD kOpenBaudRate = 9600;
constexpr BYTE kOpenByteSize = 8;
// The flow-control characters and limits (bytes free in the input queue)
// that matter only while software flow control is on, which it never is
// here; set all the same so that nothing of a previous user's stays.
constexpr char kXonChar = 0x11;
constexpr char kXoffChar = 0x13;
constexpr WORD kXonLimit = 2048;
constexpr WORD kXoffLimit = 512;

// Every field of the line state for an 8-bit binary link: no flow control
// of any kind, no character replaced, dropped or acted on, no stop on a
// line error, DTR and RTS raised (some adapters and instruments draw power
// from them or wait for them).
DCB CleanLineState() {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = kOpenBaudRate;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = 0;
    dcb.XonLim = kXonLimit;
    dcb.XoffLim = kXoffLimit;
    dcb.ByteSize = kOpenByteSize;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = kXonChar;
    dcb.XoffChar = kXoffChar;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    return dcb;
}

LONG ToCode(DWORD win32Error) {
    return static_cast<LONG>(win32Error);
}

// Where a transfer counts its bytes: the caller's count, or `own` when the
// caller wants none. It reads 0 until bytes move.
DWORD* ZeroedCount(DWORD* callers, DWORD& own) {
    DWORD* count = callers != nullptr ? callers : &own;
    *count = 0;
    return count;
}

}  // namespace

CSerialBase::~CSerialBase() {
    CSerialBase::Close();
}

LONG CSerialBase::Finish(LONG code) {
    lastError.store(code);
    return code;
}

LONG CSerialBase::FinishWithSystemError() {
    return Finish(ToCode(::GetLastError()));
}

LONG CSerialBase::Begin() {
    lastError.store(0);
    return IsOpen() ? 0 : Finish(ToCode(ERROR_INVALID_HANDLE));
}

LONG CSerialBase::BeginWithState(DCB& dcb) {
    if (const LONG code = Begin(); code != 0) {
        return code;
    }
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(portHandle, &dcb)) {
        return FinishWithSystemError();
    }
    return 0;
}

LONG CSerialBase::Open(LPCSTR portName, DWORD inQueueSize, DWORD outQueueSize, bool overlapped) {
    lastError.store(0);
    if (IsOpen()) {
        return Finish(ToCode(ERROR_ALREADY_INITIALIZED));
    }
    HANDLE handle = ::CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return FinishWithSystemError();
    }
    portHandle = handle;
    HoldPreciseTimers();  // given back by Close, whatever ends the port
    if (overlapped) {
        ioEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (ioEvent == nullptr) {
            const LONG error = ToCode(::GetLastError());
            Close();
            return Finish(error);
        }
    }
    if (inQueueSize != 0 || outQueueSize != 0) {
        if (!::SetupComm(portHandle, inQueueSize, outQueueSize)) {
            const LONG error = ToCode(::GetLastError());
            Close();
            return Finish(error);
        }
    }
    // None of these closes the port: a failed mask is overwritten by the
    // line state, and a failed line state or read mode is the result with
    // the port open. The driver keeps everything its last user set, so every
    // field is set here and nothing is left as found.
    SetEventMask(kOpenEventMask);
    const LONG lineStateResult = SetCleanLineState();
    const LONG readModeResult = SetReadMode(ReadNonBlocking);
    CurrentSession().OnPortOpened(portName);
    return Finish(lineStateResult != 0 ? lineStateResult : readModeResult);
}

LONG CSerialBase::SetCleanLineState() {
    if (const LONG code = Begin(); code != 0) {
        return code;
    }
    DCB dcb = CleanLineState();
    if (!::SetCommState(portHandle, &dcb)) {
        return FinishWithSystemError();
    }
    return Finish(0);
}

LONG CSerialBase::Close() {
    lastError.store(0);
    if (!IsOpen()) {
        return Finish(0);
    }
    if (ioEvent != nullptr) {
        ::CloseHandle(ioEvent);
        ioEvent = nullptr;
    }
    ::CloseHandle(portHandle);
    portHandle = nullptr;
    ReleasePreciseTimers();
    return Finish(0);
}

LONG CSerialBase::Configure(DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits) {
    DCB dcb;
    if (const LONG code = BeginWithState(dcb); code != 0) {
        return code;
    }
    dcb.BaudRate = baudRate;
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.fParity = parity != NOPARITY ? 1 : 0;
    if (!::SetCommState(portHandle, &dcb)) {
        return FinishWithSystemError();
    }
    CurrentSession().OnLineConfigured(baudRate);
    return Finish(0);
}

LONG CSerialBase::SetEvtChar(BYTE evtChar, bool addRxFlag) {
    DCB dcb;
    if (const LONG code = BeginWithState(dcb); code != 0) {
        return code;
    }
    dcb.EvtChar = static_cast<CHAR>(evtChar);
    // A failed mask update stays the result even though the state is written.
    LONG maskResult = 0;
    if (addRxFlag) {
        maskResult = SetEventMask(GetEventMask() | EV_RXFLAG);
    }
    if (!::SetCommState(portHandle, &dcb)) {
        return FinishWithSystemError();
    }
    return Finish(maskResult);
}

LONG CSerialBase::SetEventMask(DWORD mask) {
    if (const LONG code = Begin(); code != 0) {
        return code;
    }
    if (!::SetCommMask(portHandle, mask)) {
        return FinishWithSystemError();
    }
    eventMask.store(mask);
    return Finish(0);
}

LONG CSerialBase::SetFlowControl(int mode) {
    DCB dcb;
    if (const LONG code = BeginWithState(dcb); code != 0) {
        return code;
    }
    if (mode != FlowNone && mode != FlowHardware && mode != FlowSoftware) {
        return Finish(E_INVALIDARG);
    }
    const bool hardware = mode == FlowHardware;
    const bool software = mode == FlowSoftware;
    dcb.fOutxCtsFlow = hardware ? 1 : 0;
    dcb.fOutxDsrFlow = hardware ? 1 : 0;
    if (hardware) {
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else {
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
    }
    dcb.fOutX = software ? 1 : 0;
    dcb.fInX = software ? 1 : 0;
    if (!::SetCommState(portHandle, &dcb)) {
        return FinishWithSystemError();
    }
    return Finish(0);
}

LONG CSerialBase::SetReadMode(int mode) {
    if (const LONG code = Begin(); code != 0) {
        return code;
    }
    if (mode != ReadNonBlocking && mode != ReadBlocking) {
        return Finish(E_INVALIDARG);
    }
    // All five are set: the driver keeps what its last user left, and a
    // write time-out left short would cut frames.
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    // Non-blocking: a read takes what has arrived and returns at once.
    // Blocking: a read completes when the requested count has arrived.
    timeouts.ReadIntervalTimeout = mode == ReadNonBlocking ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    // A write never outlasts its wire time at the slowest rate plus the
    // margin, whatever the line does.
    timeouts.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
    timeouts.WriteTotalTimeoutConstant = kWriteMarginMs;
    if (!::SetCommTimeouts(portHandle, &timeouts)) {
        return FinishWithSystemError();
    }
    return Finish(0);
}

LONG CSerialBase::GetBaudRate() {
    DCB dcb;
    return BeginWithState(dcb) == 0 ? static_cast<LONG>(dcb.BaudRate) : -1;
}

LONG CSerialBase::GetByteSize() {
    DCB dcb;
    return BeginWithState(dcb) == 0 ? dcb.ByteSize : -1;
}

LONG CSerialBase::GetParity() {
    DCB dcb;
    if (BeginWithState(dcb) != 0) {
        return -1;
    }
    return dcb.fParity ? dcb.Parity : NOPARITY;
}

LONG CSerialBase::GetStopBits() {
    DCB dcb;
    return BeginWithState(dcb) == 0 ? dcb.StopBits : -1;
}

LONG CSerialBase::GetFlowControl() {
    DCB dcb;
    if (BeginWithState(dcb) != 0) {
        return -1;
    }
    // The handshake lines decide; the CTS and DSR output flags are not looked at.
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        return FlowHardware;
    }
    if (dcb.fOutX && dcb.fInX) {
        return FlowSoftware;
    }
    return FlowNone;
}

DWORD CSerialBase::GetEventMask() {
    return Begin() == 0 ? eventMask.load() : 0;
}

BYTE CSerialBase::GetEvtChar() {
    DCB dcb;
    return BeginWithState(dcb) == 0 ? static_cast<BYTE>(dcb.EvtChar) : 0;
}

LONG CSerialBase::WriteText(const char* text, DWORD* bytesWritten, OVERLAPPED* overlapped,
                            DWORD timeout) {
    return Write(text, static_cast<DWORD>(std::strlen(text)), bytesWritten, overlapped, timeout);
}

template <typename StartCall>
LONG CSerialBase::RunIo(StartCall start, DWORD* count, OVERLAPPED* overlapped, DWORD timeout) {
    if (!IsOpen()) {
        return Finish(ToCode(ERROR_INVALID_HANDLE));
    }
    if (ioEvent == nullptr) {
        if (overlapped != nullptr || timeout != INFINITE) {
            return Finish(ToCode(ERROR_INVALID_FUNCTION));
        }
        return start(nullptr) ? Finish(0) : FinishWithSystemError();
    }
    if (overlapped != nullptr) {
        // The caller waits on its own event; the time-out is not used.
        if (start(overlapped)) {
            ::SetEvent(overlapped->hEvent);
            return Finish(0);
        }
        const DWORD error = ::GetLastError();
        return Finish(error == ERROR_IO_PENDING ? 0 : ToCode(error));
    }
    OVERLAPPED internal;
    std::memset(&internal, 0, sizeof internal);
    internal.hEvent = ioEvent;
    if (start(&internal)) {
        ::SetEvent(ioEvent);
        return Finish(0);
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
        return Finish(ToCode(error));
    }
    switch (::WaitForSingleObject(ioEvent, timeout)) {
        case WAIT_OBJECT_0:
            if (count != nullptr && !::GetOverlappedResult(portHandle, &internal, count, FALSE)) {
                return FinishWithSystemError();
            }
            return Finish(0);
        case WAIT_TIMEOUT: {
            // Cancels this thread's operation only, then waits for the
            // cancellation to finish: `internal` lives on this stack and the
            // caller's buffer may go once we return. Its count is dropped.
            ::CancelIo(portHandle);
            DWORD cancelledCount = 0;
            ::GetOverlappedResult(portHandle, &internal, &cancelledCount, TRUE);
            return Finish(ToCode(ERROR_TIMEOUT));
        }
        default:
            return FinishWithSystemError();
    }
}

LONG CSerialBase::Write(const void* buffer, DWORD length, DWORD* bytesWritten,
                        OVERLAPPED* overlapped, DWORD timeout) {
    lastError.store(0);
    DWORD ownCount = 0;
    DWORD* count = ZeroedCount(bytesWritten, ownCount);
    return RunIo([&](OVERLAPPED* ov) { return ::WriteFile(portHandle, buffer, length, count, ov); },
                 count, overlapped, timeout);
}

LONG CSerialBase::Read(void* buffer, DWORD length, DWORD* bytesRead, OVERLAPPED* overlapped,
                       DWORD timeout) {
    lastError.store(0);
    DWORD ownCount = 0;
    DWORD* count = ZeroedCount(bytesRead, ownCount);
    return RunIo([&](OVERLAPPED* ov) { return ::ReadFile(portHandle, buffer, length, count, ov); },
                 count, overlapped, timeout);
}

LONG CSerialBase::ReadArrived(void* buffer, DWORD length, DWORD* bytesRead) {
    lastError.store(0);
    DWORD ownCount = 0;
    DWORD* count = ZeroedCount(bytesRead, ownCount);
    if (!IsOpen()) {
        return Finish(ToCode(ERROR_INVALID_HANDLE));
    }
    DWORD errors = 0;
    COMSTAT status;
    std::memset(&status, 0, sizeof status);
    if (!::ClearCommError(portHandle, &errors, &status)) {
        return FinishWithSystemError();
    }
    if (status.cbInQue == 0) {
        return Finish(0);
    }
    return Read(buffer, std::min(length, status.cbInQue), count, nullptr, INFINITE);
}

LONG CSerialBase::WaitForEvent(OVERLAPPED* overlapped, DWORD timeout) {
    lastError.store(0);
    return RunIo([&](OVERLAPPED* ov) { return ::WaitCommEvent(portHandle, &pendingEvents, ov); },
                 nullptr, overlapped, timeout);
}

LONG CSerialBase::ReadDirect(void* buffer, DWORD length, DWORD* bytesRead, OVERLAPPED*, DWORD) {
    lastError.store(0);
    DWORD ownCount = 0;
    DWORD* count = ZeroedCount(bytesRead, ownCount);
    if (!IsOpen()) {
        return Finish(ToCode(ERROR_INVALID_HANDLE));
    }
    if (!::ReadFile(portHandle, buffer, length, count, nullptr)) {
        return FinishWithSystemError();
    }
    return Finish(0);
}

DWORD CSerialBase::TakeEvents() {
    const DWORD delivered = std::atomic_ref<DWORD>(pendingEvents).exchange(0);
    return delivered & eventMask.load();
}
