#include "MonotonicClock.h"

#include <thread>

namespace {

TimeSource* installedSource = nullptr;

}  // namespace

MonotonicTime MonotonicNow() {
    return installedSource != nullptr ? installedSource->Now() : std::chrono::steady_clock::now();
}

void PauseFor(std::chrono::nanoseconds duration) {
    if (installedSource != nullptr) {
        installedSource->Pause(duration);
    } else {
        std::this_thread::sleep_for(duration);
    }
}

void InstallTimeSource(TimeSource* source) {
    installedSource = source;
}
