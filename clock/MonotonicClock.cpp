#include "MonotonicClock.h"

namespace {

const TimeSource* installedSource = nullptr;

}  // namespace

MonotonicTime MonotonicNow() {
    return installedSource != nullptr ? installedSource->Now() : std::chrono::steady_clock::now();
}

void InstallTimeSource(const TimeSource* source) {
    installedSource = source;
}
