#include <pthread.h>

#include <atomic>

#include "SimulatedClock.h"
#include "seams.h"
#include "waitable.h"
#include "winapi_errors.h"
#include "winapi_sync.h"

namespace {

// A thread's handle: signalled when its procedure has returned.
class ThreadObject final : public Waitable {
public:
    ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter)
        : Waitable(true, false), start_(start), parameter_(parameter) {}

    void Run() {
        exitCode_.store(start_(parameter_));
        Set();
    }
    DWORD ExitCode() const { return exitCode_.load(); }

private:
    const LPTHREAD_START_ROUTINE start_;
    const LPVOID parameter_;
    std::atomic<DWORD> exitCode_{STILL_ACTIVE};
};

// The new thread holds its own reference, so closing the handle early does
// not end the object under the running procedure.
void* ThreadEntry(void* context) {
    auto* owned = static_cast<std::shared_ptr<ThreadObject>*>(context);
    std::shared_ptr<ThreadObject> thread = std::move(*owned);
    delete owned;
    thread->Run();
    return nullptr;
}

// The event behind `event`, or null with the last error 6: a thread's handle
// can be waited on but is no event to set or reset.
std::shared_ptr<Waitable> LookUpEvent(HANDLE event) {
    auto waitable = LookUpKernelObject<Waitable>(event);
    if (waitable == nullptr || std::dynamic_pointer_cast<ThreadObject>(waitable) != nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return waitable;
}

}  // namespace

void Waitable::Set() {
    std::vector<std::function<void()>> watchers;
    {
        std::lock_guard guard(lock_);
        signalled_ = true;
        watchers.swap(watchers_);
    }
    changed_.notify_all();
    for (const auto& watcher : watchers) {
        watcher();
    }
}

void Waitable::Reset() {
    std::lock_guard guard(lock_);
    signalled_ = false;
}

bool Waitable::Signalled() {
    std::lock_guard guard(lock_);
    return signalled_;
}

void Waitable::WatchOnce(std::function<void()> watcher) {
    std::lock_guard guard(lock_);
    watchers_.push_back(std::move(watcher));
}

bool Waitable::TakeSignal() {
    if (!manualReset_) {
        signalled_ = false;
    }
    return true;
}

bool Waitable::Wait(DWORD milliseconds) {
    if (SimulatedClock::Installed() != nullptr) {
        return WaitInSimulatedTime(milliseconds);
    }
    std::unique_lock guard(lock_);
    const auto isSignalled = [this] { return signalled_; };
    if (milliseconds == INFINITE) {
        changed_.wait(guard, isSignalled);
    } else if (!changed_.wait_for(guard, std::chrono::milliseconds(milliseconds), isSignalled)) {
        return false;
    }
    return TakeSignal();
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name) {
    if (InjectedFailure(SeamCall::CreateEvent)) {
        return nullptr;
    }
    if (attributes != nullptr || name != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return RegisterKernelObject(
        std::make_shared<Waitable>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
    const auto waitable = LookUpEvent(event);
    if (waitable == nullptr) {
        return FALSE;
    }
    waitable->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    const auto waitable = LookUpEvent(event);
    if (waitable == nullptr) {
        return FALSE;
    }
    waitable->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    if (InjectedFailure(SeamCall::WaitForSingleObject)) {
        return WAIT_FAILED;
    }
    const auto waitable = LookUpKernelObject<Waitable>(object);
    if (waitable == nullptr) {
        return WAIT_FAILED;
    }
    if (waitable->Wait(milliseconds)) {
        return WAIT_OBJECT_0;
    }
    if (milliseconds == INFINITE) {
        // Only a simulated world gets here: nothing queued can end the wait.
        SetLastError(ERROR_TIMEOUT);
        return WAIT_FAILED;
    }
    return WAIT_TIMEOUT;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId) {
    if (InjectedFailure(SeamCall::CreateThread)) {
        return nullptr;
    }
    if (attributes != nullptr || creationFlags != 0 || start == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>(start, parameter);
    pthread_attr_t threadAttributes;
    pthread_attr_init(&threadAttributes);
    pthread_attr_setdetachstate(&threadAttributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        pthread_attr_setstacksize(&threadAttributes, stackSize);
    }
    auto* context = new std::shared_ptr<ThreadObject>(thread);
    pthread_t id;
    const int error = pthread_create(&id, &threadAttributes, &ThreadEntry, context);
    pthread_attr_destroy(&threadAttributes);
    if (error != 0) {
        delete context;
        SetLastError(Win32ErrorFromErrno(error));
        return nullptr;
    }
    if (threadId != nullptr) {
        static std::atomic<DWORD> lastThreadId{0};
        *threadId = ++lastThreadId;
    }
    return RegisterKernelObject(std::move(thread));
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    const auto object = LookUpKernelObject<ThreadObject>(thread);
    if (object == nullptr) {
        return FALSE;
    }
    *exitCode = object->ExitCode();
    return TRUE;
}
