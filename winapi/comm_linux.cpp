#include <atomic>
#include <cstddef>
#include <cstring>

#include "comm_device_names.h"
#include "comm_port.h"
#include "line_settings.h"
#include "seams.h"
#include "simulated_comm_port.h"
#include "winapi_comm.h"
#include "winapi_errors.h"
#include "winapi_sync.h"

namespace {

BOOL Report(DWORD error) {
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL InvalidParameter() {
    return Report(ERROR_INVALID_PARAMETER);
}

// The shape of the calls that read or write one structure of a port's state:
// the test seam, the null check, the handle look-up, then the port's member.
template <typename Structure, typename Member>
BOOL CallWithStructure(SeamCall seam, HANDLE port, Structure* structure, Member member) {
    if (InjectedFailure(seam)) {
        return FALSE;
    }
    if (structure == nullptr) {
        return InvalidParameter();
    }
    const auto commPort = LookUpKernelObject<CommDevice>(port);
    return commPort != nullptr && Report(((*commPort).*member)(*structure));
}

// Starts an operation and waits for its end on this thread: every call made
// without an OVERLAPPED, and every call on a port opened without overlapped
// mode. `start(transferred, completion)` is one of CommDevice's Start members.
template <typename Start>
BOOL RunToCompletion(Start start, LPDWORD transferred) {
    OVERLAPPED own;
    std::memset(&own, 0, sizeof own);
    const CommDevice::Completion completion{&own, std::make_shared<Waitable>(true, false)};
    DWORD count = 0;
    DWORD status = start(count, completion);
    if (status == ERROR_IO_PENDING) {
        completion.done->Wait(INFINITE);
        status = static_cast<DWORD>(
            std::atomic_ref<ULONG_PTR>(own.Internal).load(std::memory_order_acquire));
        count = static_cast<DWORD>(own.InternalHigh);
    }
    if (transferred != nullptr) {
        *transferred = count;
    }
    return Report(status);
}

// Runs the operation overlapped when the port and the caller ask for it: it
// completes through the caller's OVERLAPPED and event (FALSE with 997 while
// it is pending); otherwise it runs to completion.
template <typename Start>
BOOL RunOperation(const CommDevice& port, Start start, LPDWORD transferred, LPOVERLAPPED overlapped) {
    if (overlapped == nullptr || !port.Overlapped()) {
        return RunToCompletion(start, transferred);
    }
    auto done = LookUpKernelObject<Waitable>(overlapped->hEvent);
    if (done == nullptr) {
        return InvalidParameter();  // this platform completes through an event only
    }
    DWORD count = 0;
    const DWORD status = start(count, CommDevice::Completion{overlapped, std::move(done)});
    if (status == ERROR_SUCCESS && transferred != nullptr) {
        *transferred = count;
    }
    return Report(status);
}

// ReadFile and WriteFile: the count reads 0 until bytes move, and only a
// transfer of nothing may come without a buffer. `start(port, transferred,
// completion)` starts the transfer on the port.
template <typename Start>
BOOL Transfer(HANDLE port, LPCVOID buffer, DWORD length, LPDWORD transferred,
              LPOVERLAPPED overlapped, Start start) {
    if (transferred != nullptr) {
        *transferred = 0;
    }
    if (buffer == nullptr && length != 0) {
        return InvalidParameter();
    }
    const auto commPort = LookUpKernelObject<CommDevice>(port);
    if (commPort == nullptr) {
        return FALSE;
    }
    return RunOperation(
        *commPort,
        [&](DWORD& count, const CommDevice::Completion& completion) {
            return start(*commPort, count, completion);
        },
        transferred, overlapped);
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    if (InjectedFailure(SeamCall::CreateFile)) {
        return INVALID_HANDLE_VALUE;
    }
    if (fileName == nullptr || (desiredAccess & ~(GENERIC_READ | GENERIC_WRITE)) != 0 ||
        shareMode != 0 || securityAttributes != nullptr || creationDisposition != OPEN_EXISTING ||
        templateFile != nullptr) {
        InvalidParameter();
        return INVALID_HANDLE_VALUE;
    }
    const bool overlapped = (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
    std::shared_ptr<CommDevice> simulated;
    if (const auto opened = OpenSimulatedPort(fileName, overlapped, simulated)) {
        if (*opened != ERROR_SUCCESS) {
            SetLastError(*opened);
            return INVALID_HANDLE_VALUE;
        }
        return RegisterKernelObject(std::move(simulated));
    }
    const std::string device = ResolveCommDevice(fileName);
    if (device.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<CommPort> port;
    if (const DWORD error = CommPort::Open(device, overlapped, port); error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return RegisterKernelObject(std::move(port));
}

BOOL SetupComm(HANDLE port, DWORD inQueueSize, DWORD outQueueSize) {
    if (InjectedFailure(SeamCall::SetupComm)) {
        return FALSE;
    }
    const auto commPort = LookUpKernelObject<CommDevice>(port);
    return commPort != nullptr && Report(commPort->SetQueueSizes(inQueueSize, outQueueSize));
}

BOOL GetCommState(HANDLE port, DCB* dcb) {
    return CallWithStructure(SeamCall::GetCommState, port, dcb, &CommDevice::GetState);
}

BOOL SetCommState(HANDLE port, const DCB* dcb) {
    return CallWithStructure(SeamCall::SetCommState, port, dcb, &CommDevice::SetState);
}

BOOL SetCommMask(HANDLE port, DWORD eventMask) {
    if (InjectedFailure(SeamCall::SetCommMask)) {
        return FALSE;
    }
    const auto commPort = LookUpKernelObject<CommDevice>(port);
    return commPort != nullptr && Report(commPort->SetMask(eventMask));
}

BOOL GetCommMask(HANDLE port, LPDWORD eventMask) {
    if (eventMask == nullptr) {
        return InvalidParameter();
    }
    const auto commPort = LookUpKernelObject<CommDevice>(port);
    return commPort != nullptr && Report(commPort->GetMask(*eventMask));
}

BOOL WaitCommEvent(HANDLE port, LPDWORD events, LPOVERLAPPED overlapped) {
    if (InjectedFailure(SeamCall::WaitCommEvent)) {
        return FALSE;
    }
    if (events == nullptr) {
        return InvalidParameter();
    }
    const auto commPort = LookUpKernelObject<CommDevice>(port);
    if (commPort == nullptr) {
        return FALSE;
    }
    return RunOperation(
        *commPort,
        [&](DWORD&, const CommDevice::Completion& completion) {
            return commPort->StartWaitEvent(events, completion);
        },
        nullptr, overlapped);
}

BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
    return CallWithStructure(SeamCall::GetCommTimeouts, port, timeouts, &CommDevice::GetTimeouts);
}

BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts) {
    return CallWithStructure(SeamCall::SetCommTimeouts, port, timeouts, &CommDevice::SetTimeouts);
}

BOOL ReadFile(HANDLE port, LPVOID buffer, DWORD length, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    return Transfer(
        port, buffer, length, bytesRead, overlapped,
        [&](CommDevice& commPort, DWORD& transferred, const CommDevice::Completion& completion) {
            return commPort.StartRead(static_cast<BYTE*>(buffer), length, transferred, completion);
        });
}

BOOL WriteFile(HANDLE port, LPCVOID buffer, DWORD length, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    if (InjectedFailure(SeamCall::WriteFile)) {
        return FALSE;
    }
    return Transfer(
        port, buffer, length, bytesWritten, overlapped,
        [&](CommDevice& commPort, DWORD& transferred, const CommDevice::Completion& completion) {
            return commPort.StartWrite(static_cast<const BYTE*>(buffer), length, transferred,
                                       completion);
        });
}

BOOL GetOverlappedResult(HANDLE port, LPOVERLAPPED overlapped, LPDWORD bytesTransferred,
                         BOOL wait) {
    if (overlapped == nullptr || bytesTransferred == nullptr) {
        return InvalidParameter();
    }
    if (LookUpKernelObject<CommDevice>(port) == nullptr) {
        return FALSE;
    }
    std::atomic_ref<ULONG_PTR> status(overlapped->Internal);
    while (status.load(std::memory_order_acquire) == kOperationPending) {
        if (!wait) {
            return Report(ERROR_IO_INCOMPLETE);
        }
        if (WaitForSingleObject(overlapped->hEvent, INFINITE) != WAIT_OBJECT_0) {
            return FALSE;
        }
    }
    *bytesTransferred = static_cast<DWORD>(overlapped->InternalHigh);
    return Report(static_cast<DWORD>(status.load(std::memory_order_acquire)));
}

BOOL CancelIo(HANDLE port) {
    const auto commPort = LookUpKernelObject<CommDevice>(port);
    if (commPort == nullptr) {
        return FALSE;
    }
    commPort->CancelFrom(std::this_thread::get_id());
    return TRUE;
}

BOOL ClearCommError(HANDLE port, LPDWORD errors, COMSTAT* status) {
    if (InjectedFailure(SeamCall::ClearCommError)) {
        return FALSE;
    }
    const auto commPort = LookUpKernelObject<CommDevice>(port);
    if (commPort == nullptr) {
        return FALSE;
    }
    DWORD taken = 0;
    if (!Report(commPort->ClearErrors(taken, status))) {
        return FALSE;
    }
    if (errors != nullptr) {
        *errors = taken;
    }
    return TRUE;
}
