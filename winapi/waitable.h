// Something a thread can wait for: an event, or a thread that ends. Waiting
// blocks on a condition variable, in the kernel; in a simulated world it
// runs that world's system lane until the object is signalled.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "kernel_objects.h"

class Waitable : public KernelObject {
public:
    Waitable(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

    void Set();
    void Reset();
    // True when signalled within `milliseconds` (INFINITE: no limit). An
    // auto-reset object is reset by the wait it ends.
    bool Wait(DWORD milliseconds);

    bool ManualReset() const { return manualReset_; }
    bool Signalled();
    // Calls `watcher` once, at the next Set (on the setting thread, after
    // the object is signalled).
    void WatchOnce(std::function<void()> watcher);

private:
    bool WaitInSimulatedTime(DWORD milliseconds);
    bool TakeSignal();

    const bool manualReset_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool signalled_;
    std::vector<std::function<void()>> watchers_;
};
