#include "simulated_comm_port.h"

#include <termios.h>

#include <algorithm>
#include <cstring>

#include "line_settings.h"
#include "read_timeouts.h"
#include "winapi_errors.h"

namespace {

constexpr std::size_t kDefaultInputQueue = 4096;         // bytes, until SetupComm
constexpr std::size_t kLargestQueue = 16 * 1024 * 1024;  // bytes
// Bit times per character: start, 8 data bits, stop.
constexpr std::int64_t kBitsPerCharacter = 10;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
// A gap longer than this many character times ends a burst.
constexpr std::int64_t kBurstGapCharacters = 2;
// The payload of one USB packet from an adapter, in bytes: a full one goes
// at once, whatever its latency timer.
constexpr std::size_t kUsbPacketBytes = 62;

}  // namespace

SimulatedCommPort::SimulatedCommPort(SimulatedClock& world, SimulatedLineEntry& line,
                                     bool overlapped, const DCB& state,
                                     const COMMTIMEOUTS& timeouts)
    : world_(world),
      line_(&line),
      overlapped_(overlapped),
      state_(state),
      timeouts_(timeouts),
      inputLimit_(kDefaultInputQueue) {}

SimulatedCommPort::~SimulatedCommPort() {
    world_.Cancel(wake_);
}

void SimulatedCommPort::Preload(std::span<const BYTE> bytes) {
    // An adapter with a latency timer has passed on whole packets; what
    // came after the last one it still holds, and hands over once its timer
    // runs out: after the open, and after whatever the program did to
    // empty the input.
    const std::size_t held =
        line_->Faults().latencyTimerMs > 0 ? bytes.size() % kUsbPacketBytes : 0;
    const std::size_t queued = bytes.size() - held;
    input_.insert(input_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(queued));
    lastArrival_ = world_.Now();
    for (const BYTE value : bytes.subspan(queued)) {
        HoldInAdapter(value, world_.Now());
    }
    Reschedule();
}

SimulatedClock::Duration SimulatedCommPort::ByteTime() const {
    const std::int64_t rate = std::max<std::int64_t>(state_.BaudRate, 1);
    return SimulatedClock::Duration(kBitsPerCharacter * kNanosecondsPerSecond / rate);
}

template <typename Call>
DWORD SimulatedCommPort::WhileOpen(Call call) {
    if (line_ == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    Service();
    const DWORD result = call();
    Reschedule();
    return result;
}

void SimulatedCommPort::CompleteEverything(DWORD status) {
    const MonotonicTime now = world_.Now();
    for (ReadOperation& read : reads_) {
        EndCompletion(read.completion, status, 0);
    }
    reads_.clear();
    while (!writes_.empty()) {
        FinishFrontWrite(status, now);
    }
    EndWait(status, 0);
}

void SimulatedCommPort::OnClose() {
    if (line_ == nullptr) {
        return;
    }
    Service();
    CompleteEverything(ERROR_OPERATION_ABORTED);
    line_->Leave(state_, timeouts_);
    line_ = nullptr;
    world_.Cancel(wake_);
    wakeAt_.reset();
}

void SimulatedCommPort::Detach() {
    // The far end is going away: nothing more reaches it.
    lineError_ = ERROR_INVALID_HANDLE;
    arriving_.clear();
    frontPieceEnd_.reset();
    adapterBursts_.clear();
    CompleteEverything(ERROR_OPERATION_ABORTED);
    line_ = nullptr;
    world_.Cancel(wake_);
    wakeAt_.reset();
}

void SimulatedCommPort::LoseLine(DWORD error) {
    Service();
    lineError_ = error;
    arriving_.clear();
    frontPieceEnd_.reset();
    adapterBursts_.clear();
    const MonotonicTime now = world_.Now();
    while (!writes_.empty()) {
        FinishFrontWrite(error, now);
    }
    EndWait(error, 0);
    ServeReads(now);
    Reschedule();
}

void SimulatedCommPort::Arrive(std::span<const TimedByte> bytes) {
    if (lineError_ != ERROR_SUCCESS) {
        return;
    }
    const MonotonicTime now = world_.Now();
    if (bytes.empty()) {
        return;
    }
    // What the far end hands over at once (our bytes returned by an echoing
    // adapter, the instrument's reply) crosses the line as one run, never
    // before now. A reply handed over long before its time must not hold
    // back a run due sooner: the run goes in by its time, behind any run
    // already begun, and the bytes behind it follow its last one, as the
    // line carries one byte at a time.
    const MonotonicTime first = std::max(bytes.front().at, now);
    auto behind = std::upper_bound(
        arriving_.begin(), arriving_.end(), first,
        [](MonotonicTime at, const ArrivingByte& onLine) { return at < onLine.byte.at; });
    while (behind != arriving_.end() && !behind->startsRun) {
        ++behind;
    }
    MonotonicTime previous = behind == arriving_.begin() ? now : std::prev(behind)->byte.at;
    std::vector<ArrivingByte> run;
    run.reserve(bytes.size());
    for (TimedByte byte : bytes) {
        byte.at = std::max(byte.at, previous);
        previous = byte.at;
        run.push_back({byte, run.empty()});
    }
    auto next = arriving_.insert(behind, run.begin(), run.end()) + static_cast<long>(run.size());
    for (; next != arriving_.end() && next->byte.at < previous; ++next) {
        next->byte.at = previous;
    }
    frontPieceEnd_.reset();
    if (!serving_) {
        Service();
        Reschedule();
    }
}

void SimulatedCommPort::Service() {
    serving_ = true;
    const MonotonicTime now = world_.Now();
    TakeArrivals(now);
    ServeWrites(now);
    ServeReads(now);
    serving_ = false;
}

void SimulatedCommPort::TakeArrivals(MonotonicTime now) {
    DWORD events = 0;
    const bool adapterHolds = line_ != nullptr && line_->Faults().latencyTimerMs > 0;
    while (!arriving_.empty() && arriving_.front().byte.at <= now) {
        TimedByte byte = arriving_.front().byte;
        arriving_.pop_front();
        frontPieceEnd_.reset();
        // The rate is the one the port listens at when the byte arrives,
        // whatever it was when the far end sent it.
        if (byte.baud != 0 && byte.baud != state_.BaudRate) {
            const std::optional<BYTE> heard =
                line_ != nullptr ? line_->FarEnd().Misheard(byte.value) : std::nullopt;
            if (!heard) {
                continue;
            }
            byte.value = *heard;
        }
        if (adapterHolds) {
            HoldInAdapter(byte.value, byte.at);
        } else {
            events |= Enter(byte.value, byte.at);
        }
    }
    while (!adapterBursts_.empty() && adapterBursts_.front().releasedAt <= now) {
        AdapterBurst burst = std::move(adapterBursts_.front());
        adapterBursts_.pop_front();
        for (const BYTE value : burst.bytes) {
            events |= Enter(value, burst.releasedAt);
        }
    }
    Raise(events);
}

void SimulatedCommPort::HoldInAdapter(BYTE value, MonotonicTime at) {
    const bool timerRunning = !adapterBursts_.empty() &&
                              at <= adapterBursts_.back().releasedAt &&
                              adapterBursts_.back().bytes.size() < kUsbPacketBytes;
    if (!timerRunning) {
        adapterBursts_.push_back(
            {{}, at + std::chrono::milliseconds(line_->Faults().latencyTimerMs)});
    }
    AdapterBurst& burst = adapterBursts_.back();
    burst.bytes.push_back(value);
    if (burst.bytes.size() == kUsbPacketBytes) {
        burst.releasedAt = at;
    }
}

DWORD SimulatedCommPort::Enter(BYTE value, MonotonicTime at) {
    DWORD events = EV_RXCHAR;
    // As a driver's full input queue does: the byte is dropped and said so.
    const std::size_t wanted = reads_.empty() ? 0 : reads_.front().length;
    if (input_.size() < std::max(inputLimit_, wanted)) {
        input_.push_back(value);
    } else {
        errors_ |= CE_RXOVER;
        events |= EV_ERR;
    }
    if (value == static_cast<BYTE>(state_.EvtChar)) {
        events |= EV_RXFLAG;
    }
    lastArrival_ = at;
    return events;
}

std::size_t SimulatedCommPort::SentBy(const WriteOperation& write, MonotonicTime at) const {
    if (!write.firstEnd || at < *write.firstEnd) {
        return 0;
    }
    const auto sent = (at - *write.firstEnd) / ByteTime() + 1;
    return std::min(write.data.size(), static_cast<std::size_t>(sent));
}

void SimulatedCommPort::FinishFrontWrite(DWORD status, MonotonicTime at) {
    WriteOperation write = std::move(writes_.front());
    writes_.pop_front();
    const std::size_t sent = lineError_ == ERROR_SUCCESS ? SentBy(write, at) : 0;
    if (sent > 0) {
        std::vector<TimedByte> left(sent);
        for (std::size_t i = 0; i < sent; ++i) {
            left[i] = {write.data[i], write.End(i, ByteTime())};
        }
        transmitterFree_ = left.back().at;
        EndCompletion(write.completion, status, static_cast<DWORD>(sent));
        line_->FarEnd().Receive(left, state_.BaudRate);
    } else {
        EndCompletion(write.completion, status, 0);
    }
}

void SimulatedCommPort::PutFrontOnLine(MonotonicTime now) {
    WriteOperation& front = writes_.front();
    if (front.firstEnd || line_->FarEnd().Stalled()) {
        return;
    }
    const MonotonicTime start =
        std::max(now + SimulatedClock::Duration(line_->Faults().writeLatencyNs), transmitterFree_);
    front.firstEnd = start + ByteTime();
}

void SimulatedCommPort::ServeWrites(MonotonicTime now) {
    while (!writes_.empty() && lineError_ == ERROR_SUCCESS) {
        PutFrontOnLine(now);
        WriteOperation& front = writes_.front();
        const bool allSent = front.firstEnd && front.End(front.data.size() - 1, ByteTime()) <= now;
        const bool timedOut = front.deadline && *front.deadline <= now;
        if (allSent) {
            FinishFrontWrite(ERROR_SUCCESS, now);
        } else if (timedOut) {
            // As on Win32 a write time-out completes the write with what was sent.
            FinishFrontWrite(ERROR_SUCCESS, *front.deadline);
        } else {
            return;
        }
        if (writes_.empty() && (mask_ & EV_TXEMPTY) != 0) {
            Raise(EV_TXEMPTY);
        }
    }
}

void SimulatedCommPort::ServeReads(MonotonicTime now) {
    while (!reads_.empty()) {
        ReadOperation& read = reads_.front();
        if (ReadMayFinish(timeouts_, {read.length, read.deadline}, input_.size(), lastArrival_,
                          now)) {
            EndCompletion(read.completion, ERROR_SUCCESS, TakeInput(read.buffer, read.length));
        } else if (lineError_ != ERROR_SUCCESS) {
            EndCompletion(read.completion, lineError_, 0);
        } else {
            return;
        }
        reads_.pop_front();
        if (!reads_.empty()) {
            reads_.front().deadline = ReadDeadline(timeouts_, reads_.front().length, now);
        }
    }
}

DWORD SimulatedCommPort::TakeInput(BYTE* buffer, DWORD length) {
    const std::size_t taken = std::min<std::size_t>(length, input_.size());
    std::copy_n(input_.begin(), taken, buffer);
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(taken));
    return static_cast<DWORD>(taken);
}

void SimulatedCommPort::Raise(DWORD events) {
    events &= mask_;
    if (events == 0) {
        return;
    }
    if (wait_) {
        EndWait(ERROR_SUCCESS, events);
    } else {
        history_ |= events;
    }
}

void SimulatedCommPort::EndWait(DWORD status, DWORD events) {
    if (!wait_) {
        return;
    }
    if (status == ERROR_SUCCESS) {
        *wait_->events = events;
    }
    const Completion completion = wait_->completion;
    wait_.reset();
    EndCompletion(completion, status, 0);
}

std::optional<MonotonicTime> SimulatedCommPort::NextWake() const {
    std::optional<MonotonicTime> next;
    const auto consider = [&next](std::optional<MonotonicTime> candidate) {
        if (candidate && (!next || *candidate < *next)) {
            next = candidate;
        }
    };
    if (!arriving_.empty()) {
        // The end of the burst at the front, or a piece's worth of bytes,
        // or the byte that completes the front read, whichever comes first.
        std::size_t last = FrontPieceEnd();
        if (!reads_.empty() && reads_.front().length > input_.size()) {
            last = std::min(last, reads_.front().length - input_.size() - 1);
        }
        consider(arriving_[last].byte.at);
    }
    if (!adapterBursts_.empty()) {
        consider(adapterBursts_.front().releasedAt);
    }
    if (!writes_.empty()) {
        const WriteOperation& front = writes_.front();
        if (front.firstEnd) {
            consider(front.End(front.data.size() - 1, ByteTime()));
        }
        consider(front.deadline);
    }
    if (!reads_.empty()) {
        consider(reads_.front().deadline);
        consider(IntervalDeadline(timeouts_, input_.size(), lastArrival_));
    }
    return next;
}

std::size_t SimulatedCommPort::FrontPieceEnd() const {
    // Asked after every call on the port, while the bytes on the line
    // change only when some arrive or are taken: found once per change.
    if (frontPieceEnd_) {
        return *frontPieceEnd_;
    }
    const auto gap = ByteTime() * kBurstGapCharacters;
    const std::size_t piece = std::max<std::size_t>(line_->Faults().receivePieceBytes, 1);
    std::size_t last = std::min(arriving_.size(), piece) - 1;
    for (std::size_t i = 0; i < last; ++i) {
        if (arriving_[i + 1].byte.at - arriving_[i].byte.at > gap) {
            last = i;
            break;
        }
    }
    frontPieceEnd_ = last;
    return last;
}

void SimulatedCommPort::Reschedule() {
    const std::optional<MonotonicTime> next = line_ != nullptr ? NextWake() : std::nullopt;
    if (next == wakeAt_) {
        return;
    }
    world_.Cancel(wake_);
    wakeAt_ = next;
    if (!next) {
        return;
    }
    wake_ = world_.At(*next, SimulatedClock::Lane::System, [weak = weak_from_this()] {
        if (const auto port = weak.lock(); port != nullptr && port->line_ != nullptr) {
            port->wakeAt_.reset();
            port->Service();
            port->Reschedule();
        }
    });
}

DWORD SimulatedCommPort::StartRead(BYTE* buffer, DWORD length, DWORD& transferred,
                                   const Completion& completion) {
    return WhileOpen([&]() -> DWORD {
        StartCompletion(completion);
        const MonotonicTime now = world_.Now();
        ReadOperation read(completion, buffer, length);
        if (reads_.empty()) {
            read.deadline = ReadDeadline(timeouts_, length, now);
            if (ReadMayFinish(timeouts_, {length, read.deadline}, input_.size(), lastArrival_,
                              now)) {
                transferred = TakeInput(buffer, length);
                EndCompletion(completion, ERROR_SUCCESS, transferred);
                return ERROR_SUCCESS;
            }
            if (lineError_ != ERROR_SUCCESS) {
                EndCompletion(completion, lineError_, 0);
                return lineError_;
            }
        }
        reads_.push_back(read);
        return ERROR_IO_PENDING;
    });
}

DWORD SimulatedCommPort::StartWrite(const BYTE* buffer, DWORD length, DWORD& transferred,
                                    const Completion& completion) {
    return WhileOpen([&]() -> DWORD {
        StartCompletion(completion);
        if (lineError_ != ERROR_SUCCESS) {
            EndCompletion(completion, lineError_, 0);
            return lineError_;
        }
        if (length == 0 && writes_.empty()) {
            transferred = 0;
            EndCompletion(completion, ERROR_SUCCESS, 0);
            return ERROR_SUCCESS;
        }
        WriteOperation pending(completion, buffer, length);
        const std::uint64_t limit = std::uint64_t{timeouts_.WriteTotalTimeoutMultiplier} * length +
                                    timeouts_.WriteTotalTimeoutConstant;
        if (limit != 0) {
            pending.deadline = world_.Now() + std::chrono::milliseconds(limit);
        }
        writes_.push_back(std::move(pending));
        ServeWrites(world_.Now());  // puts it on the line when the line is free
        return ERROR_IO_PENDING;    // a byte takes its wire time: never at once
    });
}

DWORD SimulatedCommPort::StartWaitEvent(DWORD* events, const Completion& completion) {
    return WhileOpen([&]() -> DWORD {
        if (wait_ || mask_ == 0) {
            return ERROR_INVALID_PARAMETER;
        }
        if (lineError_ != ERROR_SUCCESS) {
            return lineError_;
        }
        StartCompletion(completion);
        const DWORD happened = history_ & mask_;
        if (happened != 0) {
            history_ = 0;
            *events = happened;
            EndCompletion(completion, ERROR_SUCCESS, 0);
            return ERROR_SUCCESS;
        }
        wait_.emplace(completion, events);
        return ERROR_IO_PENDING;
    });
}

void SimulatedCommPort::CancelFrom(std::thread::id thread) {
    WhileOpen([&]() -> DWORD {
        const MonotonicTime now = world_.Now();
        std::erase_if(reads_, [&](ReadOperation& read) {
            if (read.owner != thread) {
                return false;
            }
            EndCompletion(read.completion, ERROR_OPERATION_ABORTED, 0);
            return true;
        });
        // A write is cut where the line is: the bytes that left have left.
        std::deque<WriteOperation> others;
        while (!writes_.empty()) {
            if (writes_.front().owner == thread) {
                FinishFrontWrite(ERROR_OPERATION_ABORTED, now);
            } else {
                others.push_back(std::move(writes_.front()));
                writes_.pop_front();
            }
        }
        writes_ = std::move(others);
        // The event wait is left alone. Here the dialogs and the port's
        // listener run on one thread, so the thread cannot tell whose
        // operation is whose; on a real system the wait is the listener
        // thread's own, and a dialog that cancels its timed-out write there
        // leaves it armed. The listener ends its own wait by rewriting the
        // mask before it cancels, which ends it here too.
        if (!reads_.empty()) {
            reads_.front().deadline = ReadDeadline(timeouts_, reads_.front().length, now);
        }
        return ERROR_SUCCESS;
    });
}

DWORD SimulatedCommPort::SetQueueSizes(DWORD inQueueSize, DWORD outQueueSize) {
    return WhileOpen([&]() -> DWORD {
        if (inQueueSize > kLargestQueue || outQueueSize > kLargestQueue) {
            return ERROR_INVALID_PARAMETER;
        }
        if (inQueueSize != 0) {
            inputLimit_ = inQueueSize;
        }
        return ERROR_SUCCESS;
    });
}

DWORD SimulatedCommPort::GetState(DCB& dcb) {
    return WhileOpen([&]() -> DWORD {
        dcb = state_;
        return ERROR_SUCCESS;
    });
}

DWORD SimulatedCommPort::SetState(const DCB& dcb) {
    return WhileOpen([&]() -> DWORD {
        // The same settings as a tty takes, no more.
        termios scratch{};
        MakeRaw(scratch);
        if (const DWORD error = ApplyDcbToTermios(dcb, scratch); error != ERROR_SUCCESS) {
            return error;
        }
        state_ = dcb;
        state_.DCBlength = sizeof state_;
        frontPieceEnd_.reset();  // the burst gap is counted in character times
        return ERROR_SUCCESS;
    });
}

DWORD SimulatedCommPort::SetMask(DWORD mask) {
    return WhileOpen([&]() -> DWORD {
        mask_ = mask;
        history_ = 0;
        EndWait(ERROR_SUCCESS, 0);  // a new mask ends the wait with no events
        return ERROR_SUCCESS;
    });
}

DWORD SimulatedCommPort::GetMask(DWORD& mask) {
    return WhileOpen([&]() -> DWORD {
        mask = mask_;
        return ERROR_SUCCESS;
    });
}

DWORD SimulatedCommPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    return WhileOpen([&]() -> DWORD {
        timeouts = timeouts_;
        return ERROR_SUCCESS;
    });
}

DWORD SimulatedCommPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    return WhileOpen([&]() -> DWORD {
        if (AreRefusedTimeouts(timeouts)) {
            return ERROR_INVALID_PARAMETER;
        }
        timeouts_ = timeouts;
        return ERROR_SUCCESS;
    });
}

DWORD SimulatedCommPort::ClearErrors(DWORD& errors, COMSTAT* status) {
    return WhileOpen([&]() -> DWORD {
        errors = errors_;
        errors_ = 0;
        if (status != nullptr) {
            std::memset(status, 0, sizeof *status);
            status->cbInQue = static_cast<DWORD>(input_.size());
            std::size_t unsent = 0;
            const MonotonicTime now = world_.Now();
            for (const WriteOperation& write : writes_) {
                unsent += write.data.size() - SentBy(write, now);
            }
            status->cbOutQue = static_cast<DWORD>(unsent);
        }
        return ERROR_SUCCESS;
    });
}
