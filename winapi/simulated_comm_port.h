// A port of a simulated world (winapi_simulated_port.h): the state and the
// operations of a COM port as the tty port keeps them (comm_port.h), with
// a driver that is events on the world's system lane.
//
// What the driver does, in simulated time: a write's bytes leave one after
// the other, each taking one byte's wire time at the port's rate, after the
// previous write's; the write completes when its last stop bit ends (or its
// time-out cuts it), and only then, or when it is cut, do the bytes that
// left reach the far end, each with its own time. Bytes from the far end
// wait on the line until their time and then enter the input queue, which
// raises EV_RXCHAR, at once or when the adapter's latency timer lets them
// go (SimulatedPortFaults). The driver wakes once per piece of arriving bytes (a
// receive FIFO's or a USB packet's worth, SimulatedPortFaults), at the end
// of each burst, and when a read or write deadline falls, never once per
// byte.
//
// Owned by the handle table; the line entry knows it only while it is open.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "SimulatedClock.h"
#include "comm_device.h"
#include "winapi_simulated_port.h"

class SimulatedLineEntry;

class SimulatedCommPort final : public CommDevice,
                                public std::enable_shared_from_this<SimulatedCommPort> {
public:
    SimulatedCommPort(SimulatedClock& world, SimulatedLineEntry& line, bool overlapped,
                      const DCB& state, const COMMTIMEOUTS& timeouts);
    ~SimulatedCommPort() override;

    // Completes everything pending with 995 and leaves the line.
    void OnClose() override;

    bool Overlapped() const override { return overlapped_; }
    DWORD SetQueueSizes(DWORD inQueueSize, DWORD outQueueSize) override;
    DWORD GetState(DCB& dcb) override;
    DWORD SetState(const DCB& dcb) override;
    DWORD SetMask(DWORD mask) override;
    DWORD GetMask(DWORD& mask) override;
    DWORD GetTimeouts(COMMTIMEOUTS& timeouts) override;
    DWORD SetTimeouts(const COMMTIMEOUTS& timeouts) override;
    DWORD ClearErrors(DWORD& errors, COMSTAT* status) override;
    void CancelFrom(std::thread::id thread) override;
    DWORD StartRead(BYTE* buffer, DWORD length, DWORD& transferred,
                    const Completion& completion) override;
    DWORD StartWrite(const BYTE* buffer, DWORD length, DWORD& transferred,
                     const Completion& completion) override;
    DWORD StartWaitEvent(DWORD* events, const Completion& completion) override;

    // --- From the line ---
    // Bytes on their way to this port; see SimulatedLine::Send.
    void Arrive(std::span<const TimedByte> bytes);
    // The line is gone (pulled): everything fails with `error` from now on.
    void LoseLine(DWORD error);
    // The registration went: the port is closed for good.
    void Detach();
    DWORD Rate() const { return state_.BaudRate; }
    // Bytes waiting when the port opens: in the input queue, and with an
    // adapter's latency timer, the last packet's worth still in the adapter.
    void Preload(std::span<const BYTE> bytes);

private:
    struct Operation {
        explicit Operation(const Completion& started)
            : completion(started), owner(std::this_thread::get_id()) {}
        Completion completion;
        std::thread::id owner;
    };
    struct ReadOperation : Operation {
        ReadOperation(const Completion& started, BYTE* into, DWORD count)
            : Operation(started), buffer(into), length(count) {}
        BYTE* buffer;
        DWORD length;
        std::optional<MonotonicTime> deadline;
    };
    struct WriteOperation : Operation {
        WriteOperation(const Completion& started, const BYTE* from, DWORD count)
            : Operation(started), data(from, from + count) {}
        std::vector<BYTE> data;  // a copy: the caller's buffer may go on a cancel
        std::optional<MonotonicTime> deadline;
        // When the first byte's stop bit ends; none until the write is on
        // the line (the one at the front, on a line the far end takes).
        std::optional<MonotonicTime> firstEnd;
        MonotonicTime End(std::size_t index, SimulatedClock::Duration byteTime) const {
            return *firstEnd + byteTime * static_cast<SimulatedClock::Duration::rep>(index);
        }
    };
    struct WaitOperation : Operation {
        WaitOperation(const Completion& started, DWORD* into) : Operation(started), events(into) {}
        DWORD* events;
    };

    SimulatedClock::Duration ByteTime() const;
    // Brings the port up to now: arrivals, writes, reads; then sets the next wake-up.
    void Service();
    void TakeArrivals(MonotonicTime now);
    // `value`, heard at `at`, as the adapter's latency timer holds it.
    void HoldInAdapter(BYTE value, MonotonicTime at);
    // Puts `value` into the input queue as the driver has it at `at`; the
    // events that raises.
    DWORD Enter(BYTE value, MonotonicTime at);
    void ServeWrites(MonotonicTime now);
    void ServeReads(MonotonicTime now);
    void Raise(DWORD events);
    void EndWait(DWORD status, DWORD events);
    // How many bytes of the front write have left by `at`.
    std::size_t SentBy(const WriteOperation& write, MonotonicTime at) const;
    // Completes the front write with the bytes that left by `at`, which go to the far end.
    void FinishFrontWrite(DWORD status, MonotonicTime at);
    void PutFrontOnLine(MonotonicTime now);
    void CompleteEverything(DWORD status);
    std::optional<MonotonicTime> NextWake() const;
    // The index in arriving_ of the last byte the driver takes in one wake:
    // the end of the front burst or a piece's worth. Not empty.
    std::size_t FrontPieceEnd() const;
    void Reschedule();
    DWORD TakeInput(BYTE* buffer, DWORD length);
    template <typename Call>
    DWORD WhileOpen(Call call);

    SimulatedClock& world_;
    SimulatedLineEntry* line_;  // null once closed or detached
    const bool overlapped_;
    DWORD lineError_ = ERROR_SUCCESS;
    bool serving_ = false;

    DCB state_;
    COMMTIMEOUTS timeouts_;
    DWORD mask_ = 0;
    DWORD history_ = 0;
    DWORD errors_ = 0;

    // A byte on the line, not yet arrived; the first of what the far end
    // handed over at once starts a run.
    struct ArrivingByte {
        TimedByte byte;
        bool startsRun;
    };
    std::deque<ArrivingByte> arriving_;
    mutable std::optional<std::size_t> frontPieceEnd_;  // FrontPieceEnd, until arriving_ changes
    // Heard, and held by the adapter's latency timer until `releasedAt`.
    struct AdapterBurst {
        std::vector<BYTE> bytes;
        MonotonicTime releasedAt;
    };
    std::deque<AdapterBurst> adapterBursts_;
    std::deque<BYTE> input_;
    std::size_t inputLimit_;
    MonotonicTime lastArrival_{};
    MonotonicTime transmitterFree_{};  // when the last byte that left ends

    std::deque<ReadOperation> reads_;
    std::deque<WriteOperation> writes_;
    std::optional<WaitOperation> wait_;

    std::optional<MonotonicTime> wakeAt_;
    SimulatedClock::EventId wake_;
};

// The port `name` of the installed world, opened: ERROR_SUCCESS with `port`
// set, or the error; none when no world is installed or the name is not
// one of its ports.
std::optional<DWORD> OpenSimulatedPort(const char* name, bool overlapped,
                                       std::shared_ptr<CommDevice>& port);

// A registered port name: its far end, its faults, what its driver keeps
// between one user and the next, and the port open on it, if any.
class SimulatedLineEntry final : public SimulatedLine {
public:
    SimulatedLineEntry(SimulatedFarEnd& farEnd, SimulatedPortFaults faults);
    ~SimulatedLineEntry() override;

    void Send(std::span<const TimedByte> bytes) override;
    DWORD ListeningRate() const override;
    void Pull() override;

    SimulatedFarEnd& FarEnd() const { return *farEnd_; }
    const SimulatedPortFaults& Faults() const { return faults_; }
    bool Pulled() const { return pulled_; }
    bool InUse() const { return port_ != nullptr; }

    void Attach(SimulatedCommPort& port) { port_ = &port; }
    // The port closes, leaving its state for the next user.
    void Leave(const DCB& state, const COMMTIMEOUTS& timeouts);
    const DCB& RememberedState() const { return state_; }
    const COMMTIMEOUTS& RememberedTimeouts() const { return timeouts_; }

private:
    SimulatedFarEnd* farEnd_;
    SimulatedPortFaults faults_;
    DCB state_;
    COMMTIMEOUTS timeouts_{};
    SimulatedCommPort* port_ = nullptr;
    bool pulled_ = false;
};
