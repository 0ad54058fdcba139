#include "SerialListener.h"

#include <chrono>
#include <cstring>

#include "LinkFrame.h"
#include "MonotonicClock.h"
#include "SimulatedClock.h"
#include "SessionEvents.h"
#include "WriteLimit.h"

namespace {

// How soon the listener reads again the result of a wait whose event came
// before it: a driver writes it a moment later.
constexpr std::chrono::milliseconds kEarlyWakeRecheck{1};

}  // namespace

CSerialListener::~CSerialListener() {
    CloseBeforeDestruction();
}

LONG CSerialListener::Open(LPCSTR portName, DWORD inQueueSize, DWORD outQueueSize,
                           bool startListener) {
    lastError.store(0);
    const LONG opened = CSerialBase::Open(portName, inQueueSize, outQueueSize, true);
    if (opened != 0) {
        return opened;
    }
    waitEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (waitEvent == nullptr) {
        const auto error = static_cast<LONG>(::GetLastError());
        CSerialBase::Close();
        return Finish(error);
    }
    if (startListener) {
        const LONG started = StartListener();
        if (started != 0) {
            return started;
        }
    }
    return Finish(0);
}

LONG CSerialListener::Close() {
    lastError.store(0);
    StopListener(kListenerStopMs);
    if (listenerThread != nullptr) {
        // The new mask did not end the wait: the listener's own event wakes
        // it, and it cancels the wait itself.
        ::SetEvent(waitEvent);
        StopListener(kListenerStopMs);
    }
    if (listenerThread != nullptr) {
        return Finish(static_cast<LONG>(ERROR_TIMEOUT));
    }
    if (waitEvent != nullptr) {
        ::CloseHandle(waitEvent);
        waitEvent = nullptr;
    }
    return CSerialBase::Close();
}

void CSerialListener::CloseBeforeDestruction() {
    if (Close() == static_cast<LONG>(ERROR_TIMEOUT)) {
        StopListener(INFINITE);
        Close();
    }
}

LONG CSerialListener::SendFrame(std::uint8_t* frame) {
    lastError.store(0);
    const std::uint8_t totalLength = SealFrame(frame);
    const LONG rate = GetBaudRate();
    DWORD written = 0;
    LONG result = Write(frame, totalLength, &written, nullptr,
                        WriteLimitMs(totalLength, rate > 0 ? static_cast<DWORD>(rate) : 0));
    // A driver whose own write time-out ran out completes the write with
    // what it sent: the line did not take the frame in time either way.
    if (result == 0 && written < totalLength) {
        result = Finish(static_cast<LONG>(ERROR_TIMEOUT));
    }
    CurrentSession().OnFrameSent(std::span<const std::uint8_t>(frame, totalLength));
    return result;
}

LONG CSerialListener::StartListener() {
    lastError.store(0);
    if (listenerThread != nullptr || queuedListening) {
        return Finish(0);
    }
    // A thread on a closed port would only end at once with this same code.
    if (!IsOpen()) {
        return Finish(static_cast<LONG>(ERROR_INVALID_HANDLE));
    }
    if (SimulatedClock::Installed() != nullptr) {
        return StartQueuedListener();
    }
    listenerThread = ::CreateThread(nullptr, 0, &CSerialListener::ThreadProc, this, 0, nullptr);
    if (listenerThread == nullptr) {
        return FinishWithSystemError();
    }
    return Finish(0);
}

LONG CSerialListener::StopListener(DWORD timeout) {
    lastError.store(0);
    StopQueuedListener();
    if (listenerThread != nullptr) {
        stopRequested.store(true);
        // Writing the unchanged mask completes the thread's pending wait with
        // no events, which wakes it; a thread that had not armed its wait yet
        // sees the flag right after arming it.
        SetEventMask(GetEventMask());
        if (::WaitForSingleObject(listenerThread, timeout) == WAIT_OBJECT_0) {
            stopRequested.store(false);
            ::CloseHandle(listenerThread);
            listenerThread = nullptr;
        }
        // Otherwise the thread still runs: its handle and the flag stay, so a
        // later stop (Close waits without limit) joins it before anything it
        // uses is released.
    }
    return Finish(0);
}

DWORD WINAPI CSerialListener::ThreadProc(LPVOID self) {
    return static_cast<CSerialListener*>(self)->Listen();
}

void CSerialListener::AbandonWait(OVERLAPPED& overlapped) {
    // Rewriting the mask ends a pending wait on every driver; cancelling
    // alone does not end it on all of them, and the wait below would last.
    ::SetCommMask(portHandle, eventMask.load());
    ::CancelIo(portHandle);
    DWORD ignored = 0;
    ::GetOverlappedResult(portHandle, &overlapped, &ignored, TRUE);
}

DWORD CSerialListener::EndWithLostLine(LONG error) {
    lastError.store(error);
    // Told once, and the thread ends: a driver that fails every wait (an
    // adapter pulled out) would otherwise keep it spinning.
    if (!stopRequested.load()) {
        OnLineLost(error);
    }
    return static_cast<DWORD>(error);
}

LONG CSerialListener::ArmWait(OVERLAPPED& overlapped) {
    ::ResetEvent(waitEvent);
    std::memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = waitEvent;
    return WaitForEvent(&overlapped, INFINITE);
}

CSerialListener::WakeUp CSerialListener::TakeWakeUp(OVERLAPPED& overlapped, DWORD& exitCode) {
    DWORD ignored = 0;
    if (!::GetOverlappedResult(portHandle, &overlapped, &ignored, FALSE)) {
        const auto error = static_cast<LONG>(::GetLastError());
        if (error == static_cast<LONG>(ERROR_IO_INCOMPLETE)) {
            // Signalled before the wait's result is written, as some drivers
            // do on a busy machine: nothing is wrong with the line.
            return WakeUp::Early;
        }
        // The wait itself failed: the driver ends it with an error when the
        // device goes away.
        exitCode = EndWithLostLine(error);
        return WakeUp::LineLost;
    }
    const DWORD events = TakeEvents();
    DWORD errors = 0;
    if (!::ClearCommError(portHandle, &errors, nullptr)) {
        lastError.store(static_cast<LONG>(::GetLastError()));
        errors = 0;
    }
    // Errors that come with no event were cleared above and are not reported.
    if (events != 0) {
        OnEvent(events, errors);
    }
    return WakeUp::Taken;
}

DWORD CSerialListener::Listen() {
    for (;;) {
        OVERLAPPED overlapped;
        const LONG armed = ArmWait(overlapped);
        if (armed != 0) {
            return EndWithLostLine(armed);
        }
        // A stop that rewrote the mask before this wait was armed woke
        // nothing; the flag is already visible here, so the stop ends us now.
        if (stopRequested.load()) {
            AbandonWait(overlapped);
            return 0;
        }
        WakeUp woke = WakeUp::Early;
        DWORD exitCode = 0;
        for (bool first = true; woke == WakeUp::Early; first = false) {
            if (!first) {
                // The event stays signalled, as it stands for the wait's end
                // (resetting it could lose that end for good): its result is
                // read again shortly.
                PauseFor(kEarlyWakeRecheck);
            }
            if (::WaitForSingleObject(waitEvent, INFINITE) != WAIT_OBJECT_0) {
                const auto error = static_cast<LONG>(::GetLastError());
                AbandonWait(overlapped);
                return EndWithLostLine(error);
            }
            if (stopRequested.load()) {
                // Close may have woken us through the event with the wait
                // still pending, when the driver ignored the new mask.
                DWORD ignored = 0;
                if (!::GetOverlappedResult(portHandle, &overlapped, &ignored, FALSE) &&
                    ::GetLastError() == ERROR_IO_INCOMPLETE) {
                    AbandonWait(overlapped);
                }
                return 0;
            }
            woke = TakeWakeUp(overlapped, exitCode);
        }
        if (woke == WakeUp::LineLost) {
            return exitCode;
        }
        if (stopRequested.load()) {
            return 0;
        }
    }
}

LONG CSerialListener::StartQueuedListener() {
    queuedListening = true;
    ArmQueuedListener();
    return Finish(queuedListening ? 0 : lastError.load());
}

void CSerialListener::ArmQueuedListener() {
    const LONG armed = ArmWait(queuedOverlapped);
    if (armed != 0) {
        queuedListening = false;
        EndWithLostLine(armed);
        return;
    }
    AwaitQueuedWakeUp();
}

bool CSerialListener::AwaitQueuedWakeUp() {
    if (!::RegisterWaitForSingleObject(&queuedWakeUp, waitEvent, &CSerialListener::QueuedWakeUp,
                                       this, INFINITE, WT_EXECUTEONLYONCE)) {
        const auto error = static_cast<LONG>(::GetLastError());
        queuedListening = false;
        AbandonWait(queuedOverlapped);
        EndWithLostLine(error);
        return false;
    }
    return true;
}

void CALLBACK CSerialListener::QueuedWakeUp(PVOID self, BOOLEAN) {
    static_cast<CSerialListener*>(self)->OnQueuedWakeUp();
}

void CSerialListener::OnQueuedWakeUp() {
    ::UnregisterWait(queuedWakeUp);
    queuedWakeUp = nullptr;
    DWORD exitCode = 0;
    switch (TakeWakeUp(queuedOverlapped, exitCode)) {
        case WakeUp::LineLost:
            queuedListening = false;
            return;
        case WakeUp::Early:
            // In a simulated world a wait's end and its event come together:
            // an event without an end stands for nothing.
            ::ResetEvent(waitEvent);
            AwaitQueuedWakeUp();
            return;
        case WakeUp::Taken:
            // OnEvent may have stopped the listener.
            if (queuedListening) {
                ArmQueuedListener();
            }
            return;
    }
}

void CSerialListener::StopQueuedListener() {
    if (!queuedListening) {
        return;
    }
    queuedListening = false;
    if (queuedWakeUp != nullptr) {
        ::UnregisterWait(queuedWakeUp);
        queuedWakeUp = nullptr;
    }
    DWORD ignored = 0;
    if (!::GetOverlappedResult(portHandle, &queuedOverlapped, &ignored, FALSE) &&
        ::GetLastError() == ERROR_IO_INCOMPLETE) {
        AbandonWait(queuedOverlapped);
    }
}
