#include <linux/serial.h>
#include <sys/ioctl.h>

#include <array>
#include <atomic>

#include "seams.h"
#include "winapi_errors.h"

namespace {

constexpr auto kCallKinds = static_cast<std::size_t>(SeamCall::Count);

struct SeamState {
    std::array<std::atomic<int>, kCallKinds> failuresLeft{};
    std::array<std::atomic<DWORD>, kCallKinds> failureError{};
    std::array<std::atomic<int>, kCallKinds> calls{};
};

SeamState& State() {
    static SeamState state;
    return state;
}

bool ReadDriverCounters(int fd, LineErrorCounters& counters) {
    serial_icounter_struct driver{};
    if (ioctl(fd, TIOCGICOUNT, &driver) != 0) {
        return false;
    }
    counters.frame = static_cast<std::uint64_t>(driver.frame);
    counters.overrun = static_cast<std::uint64_t>(driver.overrun);
    counters.parity = static_cast<std::uint64_t>(driver.parity);
    counters.brk = static_cast<std::uint64_t>(driver.brk);
    counters.bufferOverrun = static_cast<std::uint64_t>(driver.buf_overrun);
    return true;
}

std::atomic<LineErrorCounterReader> counterReader{&ReadDriverCounters};

bool AskDriverForLowLatency(int fd) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0) {
        return false;
    }
    serial.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

std::atomic<LowLatencyRequester> lowLatencyRequester{&AskDriverForLowLatency};

}  // namespace

void FailNextCalls(SeamCall call, DWORD error, int times) {
    SeamState& state = State();
    const auto index = static_cast<std::size_t>(call);
    state.failureError[index].store(error);
    state.failuresLeft[index].store(times);
}

int CallCount(SeamCall call) {
    return State().calls[static_cast<std::size_t>(call)].load();
}

void ResetSeams() {
    SeamState& state = State();
    for (std::size_t i = 0; i < kCallKinds; ++i) {
        state.failuresLeft[i].store(0);
        state.calls[i].store(0);
    }
}

bool InjectedFailure(SeamCall call) {
    SeamState& state = State();
    const auto index = static_cast<std::size_t>(call);
    state.calls[index].fetch_add(1);
    int left = state.failuresLeft[index].load();
    while (left > 0) {
        if (state.failuresLeft[index].compare_exchange_weak(left, left - 1)) {
            SetLastError(state.failureError[index].load());
            return true;
        }
    }
    return false;
}

bool ReadLineErrorCounters(int fd, LineErrorCounters& counters) {
    return counterReader.load()(fd, counters);
}

LineErrorCounterReader ReplaceLineErrorCounterReader(LineErrorCounterReader reader) {
    return counterReader.exchange(reader != nullptr ? reader : &ReadDriverCounters);
}

bool RequestLowLatency(int fd) {
    return lowLatencyRequester.load()(fd);
}

LowLatencyRequester ReplaceLowLatencyRequester(LowLatencyRequester requester) {
    return lowLatencyRequester.exchange(requester != nullptr ? requester : &AskDriverForLowLatency);
}
