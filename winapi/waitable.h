// Something a thread can wait for: an event, or a thread that ends. Waiting
// blocks on a condition variable, in the kernel.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "kernel_objects.h"

class Waitable : public KernelObject {
public:
    Waitable(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

    void Set();
    void Reset();
    // True when signalled within `milliseconds` (INFINITE: no limit). An
    // auto-reset object is reset by the wait it ends.
    bool Wait(DWORD milliseconds);

private:
    const bool manualReset_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool signalled_;
};
