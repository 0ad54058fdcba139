#include <map>
#include <mutex>

#include "port_memory.h"

namespace {

std::mutex& MemoryLock() {
    static std::mutex lock;
    return lock;
}

std::map<dev_t, RememberedPortState>& Memory() {
    static std::map<dev_t, RememberedPortState> memory;
    return memory;
}

}  // namespace

std::optional<RememberedPortState> RecallPortState(dev_t device) {
    std::lock_guard guard(MemoryLock());
    const auto found = Memory().find(device);
    if (found == Memory().end()) {
        return std::nullopt;
    }
    return found->second;
}

void RememberPortState(dev_t device, const RememberedPortState& state) {
    std::lock_guard guard(MemoryLock());
    Memory()[device] = state;
}
