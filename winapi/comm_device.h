// What the communications services call on an open port, whatever carries
// its bytes: a tty with its driver thread (comm_port.h), or a port of a
// simulated world whose driver is events on that world's clock
// (simulated_comm_port.h). Every call returns a Win32 code.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "kernel_objects.h"
#include "waitable.h"
#include "winapi_comm.h"

// OVERLAPPED.Internal while the operation is pending; afterwards it holds the
// operation's Win32 result code.
inline constexpr ULONG_PTR kOperationPending = 0x103;

class CommDevice : public KernelObject {
public:
    // An operation's completion: where its outcome goes and what to signal.
    struct Completion {
        OVERLAPPED* overlapped = nullptr;
        std::shared_ptr<Waitable> done;
    };

    virtual bool Overlapped() const = 0;

    virtual DWORD SetQueueSizes(DWORD inQueueSize, DWORD outQueueSize) = 0;
    virtual DWORD GetState(DCB& dcb) = 0;
    virtual DWORD SetState(const DCB& dcb) = 0;
    virtual DWORD SetMask(DWORD mask) = 0;
    virtual DWORD GetMask(DWORD& mask) = 0;
    virtual DWORD GetTimeouts(COMMTIMEOUTS& timeouts) = 0;
    virtual DWORD SetTimeouts(const COMMTIMEOUTS& timeouts) = 0;
    virtual DWORD ClearErrors(DWORD& errors, COMSTAT* status) = 0;
    // Completes with 995 what `thread` started and is still pending.
    virtual void CancelFrom(std::thread::id thread) = 0;

    // ERROR_SUCCESS with `transferred` (or the events) filled when the
    // operation completed at once, ERROR_IO_PENDING when it will complete
    // through `completion`, otherwise the error.
    virtual DWORD StartRead(BYTE* buffer, DWORD length, DWORD& transferred,
                            const Completion& completion) = 0;
    virtual DWORD StartWrite(const BYTE* buffer, DWORD length, DWORD& transferred,
                             const Completion& completion) = 0;
    virtual DWORD StartWaitEvent(DWORD* events, const Completion& completion) = 0;
};

// Marks the operation pending: count 0, status pending, event reset.
inline void StartCompletion(const CommDevice::Completion& completion) {
    completion.overlapped->InternalHigh = 0;
    std::atomic_ref<ULONG_PTR>(completion.overlapped->Internal).store(kOperationPending);
    completion.done->Reset();
}

// Writes the outcome, then signals the event: whoever sees the event sees
// the outcome.
inline void EndCompletion(const CommDevice::Completion& completion, DWORD status,
                          DWORD transferred) {
    OVERLAPPED* overlapped = completion.overlapped;
    overlapped->InternalHigh = transferred;
    std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(status, std::memory_order_release);
    completion.done->Set();
}
