// Waiting in a simulated world: the waiting thread is the one that runs the
// world, so a wait runs the world's system lane (the lines, the ports'
// drivers, the instrument) until the object is signalled; and a registered
// wait is an event of that lane, queued when the object is signalled.
#include <memory>

#include "SimulatedClock.h"
#include "kernel_objects.h"
#include "waitable.h"
#include "winapi_errors.h"
#include "winapi_sync.h"

bool Waitable::WaitInSimulatedTime(DWORD milliseconds) {
    SimulatedClock& world = *SimulatedClock::Installed();
    const MonotonicTime deadline = world.Now() + std::chrono::milliseconds(milliseconds);
    const bool signalled = world.RunSystemUntil([this] { return Signalled(); },
                                                milliseconds == INFINITE ? nullptr : &deadline);
    if (!signalled) {
        return false;
    }
    std::lock_guard guard(lock_);
    return TakeSignal();
}

namespace {

// One registration of RegisterWaitForSingleObject.
class RegisteredWait final : public KernelObject,
                             public std::enable_shared_from_this<RegisteredWait> {
public:
    RegisteredWait(SimulatedClock& world, std::shared_ptr<Waitable> object,
                   WAITORTIMERCALLBACK callback, PVOID context)
        : world_(world), object_(std::move(object)), callback_(callback), context_(context) {}

    void Arm() {
        if (object_->Signalled()) {
            Queue();
            return;
        }
        object_->WatchOnce([weak = weak_from_this()] {
            if (const auto self = weak.lock()) {
                self->Queue();
            }
        });
    }

    void OnClose() override {
        armed_ = false;
        world_.Cancel(queued_);
    }

private:
    void Queue() {
        if (!armed_) {
            return;
        }
        queued_ = world_.After(SimulatedClock::Duration::zero(), SimulatedClock::Lane::System,
                               [weak = weak_from_this()] {
                                   if (const auto self = weak.lock()) {
                                       self->Call();
                                   }
                               });
    }
    void Call() {
        if (!armed_) {
            return;
        }
        armed_ = false;
        if (!object_->ManualReset()) {
            object_->Reset();  // the wait took the signal, as a wait does
        }
        callback_(context_, FALSE);
    }

    SimulatedClock& world_;
    const std::shared_ptr<Waitable> object_;
    const WAITORTIMERCALLBACK callback_;
    const PVOID context_;
    bool armed_ = true;
    SimulatedClock::EventId queued_;
};

}  // namespace

BOOL RegisterWaitForSingleObject(PHANDLE waitObject, HANDLE object, WAITORTIMERCALLBACK callback,
                                 PVOID context, ULONG milliseconds, ULONG flags) {
    SimulatedClock* world = SimulatedClock::Installed();
    if (world == nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (waitObject == nullptr || callback == nullptr || milliseconds != INFINITE ||
        flags != WT_EXECUTEONLYONCE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto waitable = LookUpKernelObject<Waitable>(object);
    if (waitable == nullptr) {
        return FALSE;
    }
    auto registration =
        std::make_shared<RegisteredWait>(*world, std::move(waitable), callback, context);
    registration->Arm();
    *waitObject = RegisterKernelObject(std::move(registration));
    return TRUE;
}

BOOL UnregisterWait(HANDLE waitObject) {
    if (LookUpKernelObject<RegisteredWait>(waitObject) == nullptr) {
        return FALSE;
    }
    return CloseHandle(waitObject);
}
