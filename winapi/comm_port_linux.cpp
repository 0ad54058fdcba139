#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "comm_port.h"
#include "line_settings.h"
#include "port_memory.h"
#include "read_timeouts.h"
#include "seams.h"
#include "winapi_errors.h"

namespace {

constexpr std::size_t kDefaultInputQueue = 4096;         // bytes, until SetupComm
constexpr std::size_t kLargestQueue = 16 * 1024 * 1024;  // bytes
constexpr std::size_t kReceiveChunk = 4096;              // bytes per read() of the tty
// Bit times per character on the line, the most a character can take (start,
// 8 data, parity, 2 stop): the drain estimate must not come too early.
constexpr std::uint64_t kMostBitsPerCharacter = 12;
constexpr std::uint64_t kMillisecondsPerSecond = 1000;

int CloseKeepingErrno(int fd) {
    const int saved = errno;
    const int result = close(fd);
    errno = saved;
    return result;
}

}  // namespace

DWORD CommPort::Open(const std::string& devicePath, bool overlapped,
                     std::shared_ptr<CommPort>& port) {
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A tty that another program holds exclusively refuses the open with
        // EBUSY, which becomes the sharing violation: busy, not forbidden.
        return Win32ErrorFromErrno(errno);
    }
    if (!isatty(fd)) {
        CloseKeepingErrno(fd);
        return ERROR_FILE_NOT_FOUND;
    }
    // A COM port has one user: the lock keeps out every other open that
    // plays by the same rule (this program included), TIOCEXCL the rest.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        CloseKeepingErrno(fd);
        // Held by another user of the same lock: busy, as for TIOCEXCL.
        return error == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : Win32ErrorFromErrno(error);
    }
    ioctl(fd, TIOCEXCL);
    termios tty{};
    if (tcgetattr(fd, &tty) != 0) {
        const DWORD error = Win32ErrorFromErrno(errno);
        ioctl(fd, TIOCNXCL);
        CloseKeepingErrno(fd);
        return error;
    }
    // The tty keeps what its last user set (a terminal program's flow
    // control, echo, line editing): as a Win32 driver does, the port opens
    // with that state and only SetCommState changes it.
    struct stat device {};
    const dev_t deviceId = fstat(fd, &device) == 0 ? device.st_rdev : 0;
    const std::optional<RememberedPortState> remembered = RecallPortState(deviceId);
    // A USB serial adapter otherwise holds received bytes for up to its
    // latency timer (16 ms by default) before passing them on; a driver that
    // refuses or has no such timer changes nothing.
    RequestLowLatency(fd);
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        const DWORD error = Win32ErrorFromErrno(errno);
        ioctl(fd, TIOCNXCL);
        CloseKeepingErrno(fd);
        return error;
    }
    const RememberedPortState state{
        DcbFromTermios(tty, remembered ? remembered->dcb : DefaultDcb()),
        remembered ? remembered->timeouts : COMMTIMEOUTS{}};
    std::shared_ptr<CommPort> opened(new CommPort(fd, wakeFd, overlapped, deviceId, state));
    const int error =
        pthread_create(&opened->driver_, nullptr, &CommPort::DriverEntry, opened.get());
    if (error != 0) {
        opened->OnClose();
        return Win32ErrorFromErrno(error);
    }
    opened->driverRunning_ = true;
    port = std::move(opened);
    return ERROR_SUCCESS;
}

CommPort::CommPort(int fd, int wakeFd, bool overlapped, dev_t device,
                   const RememberedPortState& state)
    : overlapped_(overlapped),
      device_(device),
      fd_(fd),
      wakeFd_(wakeFd),
      state_(state.dcb),
      timeouts_(state.timeouts),
      inputLimit_(kDefaultInputQueue) {
    countersKnown_ = ReadLineErrorCounters(fd_, counters_);
    int lines = 0;
    modemLines_ = ioctl(fd_, TIOCMGET, &lines) == 0;
}

CommPort::~CommPort() {
    OnClose();
}

void CommPort::OnClose() {
    {
        std::lock_guard guard(lock_);
        if (fd_ < 0) {
            return;
        }
        closing_ = true;
        for (ReadOperation& read : reads_) {
            Complete(read, ERROR_OPERATION_ABORTED, 0);
        }
        reads_.clear();
        FailWrites(ERROR_OPERATION_ABORTED);
        EndWait(ERROR_OPERATION_ABORTED, 0);
    }
    if (driverRunning_) {
        Wake();
        pthread_join(driver_, nullptr);
        driverRunning_ = false;
    }
    std::lock_guard guard(lock_);
    ioctl(fd_, TIOCNXCL);  // the exclusive mode outlives us on a tty someone else holds open
    close(fd_);            // also drops the lock
    close(wakeFd_);
    fd_ = -1;
    wakeFd_ = -1;
}

void* CommPort::DriverEntry(void* port) {
    static_cast<CommPort*>(port)->Serve();
    return nullptr;
}

void CommPort::Wake() {
    const std::uint64_t one = 1;
    // A full counter already means "wake up", so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

void CommPort::FailWrites(DWORD error) {
    for (WriteOperation& write : writes_) {
        Complete(write, error, static_cast<DWORD>(write.sent));
    }
    writes_.clear();
}

void CommPort::EndWait(DWORD status, DWORD events) {
    if (!wait_) {
        return;
    }
    if (status == ERROR_SUCCESS) {
        std::atomic_ref<DWORD>(*wait_->events).store(events);
    }
    Complete(*wait_, status, 0);
    wait_.reset();
}

void CommPort::Complete(Operation& operation, DWORD status, DWORD transferred) {
    EndCompletion(operation.completion, status, transferred);
}

void CommPort::Serve() {
    std::unique_lock guard(lock_);
    while (!closing_) {
        const Clock::time_point now = Clock::now();
        ExpireDeadlines(now);
        pollfd watched[2] = {{wakeFd_, POLLIN, 0}, {fd_, 0, 0}};
        if (lineError_ == ERROR_SUCCESS) {
            watched[1].events |= POLLIN;
            if (!writes_.empty() && !CtsHoldsOutput()) {
                watched[1].events |= POLLOUT;
            }
        }
        // A tty that is not watched is left out entirely: a hung-up tty
        // reports POLLHUP whatever is asked and would keep waking us.
        const nfds_t count = watched[1].events != 0 ? 2 : 1;
        int timeout = -1;
        if (const auto next = NextDeadline()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
            timeout = static_cast<int>(std::clamp<decltype(wait)>(wait, 0, INT_MAX));
        }
        guard.unlock();
        const int ready = poll(watched, count, timeout);
        guard.lock();
        if (ready <= 0) {
            continue;  // a deadline, or a signal
        }
        if ((watched[0].revents & POLLIN) != 0) {
            std::uint64_t wakeUps = 0;
            [[maybe_unused]] const ssize_t drained = read(wakeFd_, &wakeUps, sizeof wakeUps);
        }
        if (closing_ || count < 2) {
            continue;
        }
        const short tty = watched[1].revents;
        if ((tty & (POLLIN | POLLHUP | POLLERR)) != 0) {
            Receive(Clock::now());
        }
        if ((tty & POLLOUT) != 0 && lineError_ == ERROR_SUCCESS) {
            SendPending();
        }
        if ((tty & (POLLHUP | POLLERR)) != 0 && lineError_ == ERROR_SUCCESS) {
            LoseLine(Win32ErrorFromErrno(EIO));
        }
    }
}

void CommPort::Receive(Clock::time_point now) {
    DWORD events = 0;
    BYTE chunk[kReceiveChunk];
    while (lineError_ == ERROR_SUCCESS) {
        const ssize_t got = read(fd_, chunk, sizeof chunk);
        if (got > 0) {
            // As a UART driver does, a full input queue drops what arrives
            // and says so (CE_RXOVER); the line keeps running and the owner
            // keeps being told that characters come in.
            const std::size_t received = static_cast<std::size_t>(got);
            const std::size_t kept = std::min(received, InputRoom());
            input_.insert(input_.end(), chunk, chunk + kept);
            if (kept < received) {
                errors_ |= CE_RXOVER;
                events |= EV_ERR;
            }
            events |= EV_RXCHAR;
            if (std::memchr(chunk, static_cast<BYTE>(state_.EvtChar), received) != nullptr) {
                events |= EV_RXFLAG;
            }
            lastArrival_ = now;
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && errno == EAGAIN) {
            break;
        }
        // End of file or an I/O error: the tty went away (an adapter pulled out).
        LoseLine(Win32ErrorFromErrno(got == 0 ? EIO : errno));
    }
    if (events != 0) {
        CheckLineErrors(events);
        Raise(events);
    }
    ServeReads(now);
}

void CommPort::CheckLineErrors(DWORD& events) {
    LineErrorCounters now;
    if (!ReadLineErrorCounters(fd_, now)) {
        return;
    }
    if (countersKnown_) {
        const auto grew = [](std::uint64_t after, std::uint64_t before) { return after != before; };
        DWORD errors = 0;
        if (grew(now.bufferOverrun, counters_.bufferOverrun)) {
            errors |= CE_RXOVER;
        }
        if (grew(now.overrun, counters_.overrun)) {
            errors |= CE_OVERRUN;
        }
        if (grew(now.parity, counters_.parity)) {
            errors |= CE_RXPARITY;
        }
        if (grew(now.frame, counters_.frame)) {
            errors |= CE_FRAME;
        }
        if (grew(now.brk, counters_.brk)) {
            errors |= CE_BREAK;
            events |= EV_BREAK;
        }
        if ((errors & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME)) != 0) {
            events |= EV_ERR;
        }
        errors_ |= errors;
    }
    counters_ = now;
    countersKnown_ = true;
}

void CommPort::Raise(DWORD events) {
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

bool CommPort::ReadCanFinish(const ReadOperation& read, Clock::time_point now) const {
    return ReadMayFinish(timeouts_, {read.length, read.deadline}, input_.size(), lastArrival_, now);
}

std::size_t CommPort::InputRoom() const {
    const std::size_t wanted = reads_.empty() ? 0 : reads_.front().length;
    const std::size_t limit = std::max(inputLimit_, wanted);
    return input_.size() < limit ? limit - input_.size() : 0;
}

DWORD CommPort::TakeInput(BYTE* buffer, DWORD length) {
    const std::size_t taken = std::min<std::size_t>(length, input_.size());
    std::copy_n(input_.begin(), taken, buffer);
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(taken));
    return static_cast<DWORD>(taken);
}

void CommPort::ServeReads(Clock::time_point now) {
    while (!reads_.empty()) {
        ReadOperation& read = reads_.front();
        if (ReadCanFinish(read, now)) {
            Complete(read, ERROR_SUCCESS, TakeInput(read.buffer, read.length));
        } else if (lineError_ != ERROR_SUCCESS) {
            Complete(read, lineError_, 0);
        } else {
            return;
        }
        reads_.pop_front();
        if (!reads_.empty()) {
            reads_.front().deadline = ReadDeadline(timeouts_, reads_.front().length, now);
        }
    }
}

bool CommPort::CtsHoldsOutput() const {
    return state_.fOutxCtsFlow != 0 && !modemLines_;
}

void CommPort::SendPending() {
    // Pending writes wait for their deadline or a new line state.
    if (CtsHoldsOutput()) {
        return;
    }
    while (!writes_.empty()) {
        WriteOperation& front = writes_.front();
        const ssize_t sent =
            write(fd_, front.data.data() + front.sent, front.data.size() - front.sent);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && errno == EAGAIN) {
            return;
        }
        if (sent < 0) {
            LoseLine(Win32ErrorFromErrno(errno));
            return;
        }
        front.sent += static_cast<std::size_t>(sent);
        if (front.sent == front.data.size()) {
            Complete(front, ERROR_SUCCESS, static_cast<DWORD>(front.sent));
            writes_.pop_front();
        }
    }
    CheckTransmitterEmpty(Clock::now());
}

void CommPort::CheckTransmitterEmpty(Clock::time_point now) {
    transmitterCheck_.reset();
    if (!writes_.empty() || (mask_ & EV_TXEMPTY) == 0) {
        return;
    }
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) {
        Raise(EV_TXEMPTY);
        return;
    }
    // The kernel does not say when its queue runs dry: look again once the
    // queued characters can have left at the line's rate.
    const std::uint64_t rate = std::max<std::uint64_t>(state_.BaudRate, 1);
    const std::uint64_t drainMs =
        static_cast<std::uint64_t>(queued) * kMostBitsPerCharacter * kMillisecondsPerSecond / rate +
        1;
    transmitterCheck_ = now + std::chrono::milliseconds(drainMs);
}

void CommPort::ExpireDeadlines(Clock::time_point now) {
    ServeReads(now);
    if (!writes_.empty() && writes_.front().deadline && now >= *writes_.front().deadline) {
        // As on Win32 a write time-out completes the write with what was sent.
        WriteOperation& late = writes_.front();
        Complete(late, ERROR_SUCCESS, static_cast<DWORD>(late.sent));
        writes_.pop_front();
    }
    if (transmitterCheck_ && now >= *transmitterCheck_) {
        CheckTransmitterEmpty(now);
    }
}

std::optional<CommPort::Clock::time_point> CommPort::NextDeadline() const {
    std::optional<Clock::time_point> next;
    const auto consider = [&next](std::optional<Clock::time_point> candidate) {
        if (candidate && (!next || *candidate < *next)) {
            next = candidate;
        }
    };
    if (!reads_.empty()) {
        consider(reads_.front().deadline);
        consider(IntervalDeadline(timeouts_, input_.size(), lastArrival_));
    }
    if (!writes_.empty()) {
        consider(writes_.front().deadline);
    }
    consider(transmitterCheck_);
    return next;
}

void CommPort::LoseLine(DWORD error) {
    lineError_ = error;
    FailWrites(error);
    EndWait(error, 0);
    transmitterCheck_.reset();
    ServeReads(Clock::now());
}

template <typename Call>
DWORD CommPort::WhileOpen(Call call) {
    std::lock_guard guard(lock_);
    if (closing_) {
        return ERROR_INVALID_HANDLE;
    }
    return call();
}

DWORD CommPort::StartRead(BYTE* buffer, DWORD length, DWORD& transferred,
                          const Completion& completion) {
    return WhileOpen([&]() -> DWORD {
        StartCompletion(completion);
        const Clock::time_point now = Clock::now();
        ReadOperation read(completion, buffer, length);
        if (reads_.empty()) {
            read.deadline = ReadDeadline(timeouts_, length, now);
            if (ReadCanFinish(read, now)) {
                transferred = TakeInput(buffer, length);
                Complete(read, ERROR_SUCCESS, transferred);
                return ERROR_SUCCESS;
            }
            if (lineError_ != ERROR_SUCCESS) {
                Complete(read, lineError_, 0);
                return lineError_;
            }
        }
        reads_.push_back(read);
        Wake();  // for its deadline
        return ERROR_IO_PENDING;
    });
}

DWORD CommPort::StartWrite(const BYTE* buffer, DWORD length, DWORD& transferred,
                           const Completion& completion) {
    return WhileOpen([&]() -> DWORD {
        StartCompletion(completion);
        WriteOperation pending(completion, buffer, length);
        if (lineError_ != ERROR_SUCCESS) {
            Complete(pending, lineError_, 0);
            return lineError_;
        }
        const std::uint64_t limit = std::uint64_t{timeouts_.WriteTotalTimeoutMultiplier} * length +
                                    timeouts_.WriteTotalTimeoutConstant;
        if (limit != 0) {
            pending.deadline = Clock::now() + std::chrono::milliseconds(limit);
        }
        const bool lineFree = writes_.empty();
        writes_.push_back(std::move(pending));
        if (lineFree) {
            SendPending();
            if (lineError_ != ERROR_SUCCESS) {
                return lineError_;
            }
            if (writes_.empty()) {
                transferred = length;
                return ERROR_SUCCESS;
            }
        }
        Wake();  // to watch for room on the line
        return ERROR_IO_PENDING;
    });
}

DWORD CommPort::StartWaitEvent(DWORD* events, const Completion& completion) {
    return WhileOpen([&]() -> DWORD {
        // One wait at a time, and a wait for nothing would never end.
        if (wait_ || mask_ == 0) {
            return ERROR_INVALID_PARAMETER;
        }
        if (lineError_ != ERROR_SUCCESS) {
            return lineError_;
        }
        StartCompletion(completion);
        WaitOperation wait(completion, events);
        const DWORD happened = history_ & mask_;
        if (happened != 0) {
            history_ = 0;
            std::atomic_ref<DWORD>(*events).store(happened);
            Complete(wait, ERROR_SUCCESS, 0);
            return ERROR_SUCCESS;
        }
        wait_ = wait;
        return ERROR_IO_PENDING;
    });
}

void CommPort::CancelFrom(std::thread::id thread) {
    std::lock_guard guard(lock_);
    const auto cancel = [thread](auto& operations, auto transferred) {
        std::erase_if(operations, [&](auto& operation) {
            if (operation.owner != thread) {
                return false;
            }
            Complete(operation, ERROR_OPERATION_ABORTED, transferred(operation));
            return true;
        });
    };
    cancel(reads_, [](const ReadOperation&) { return DWORD{0}; });
    cancel(writes_, [](const WriteOperation& write) { return static_cast<DWORD>(write.sent); });
    if (wait_ && wait_->owner == thread) {
        EndWait(ERROR_OPERATION_ABORTED, 0);
    }
    if (!reads_.empty()) {
        reads_.front().deadline = ReadDeadline(timeouts_, reads_.front().length, Clock::now());
    }
    Wake();
}

DWORD CommPort::SetQueueSizes(DWORD inQueueSize, DWORD outQueueSize) {
    return WhileOpen([&]() -> DWORD {
        if (inQueueSize > kLargestQueue || outQueueSize > kLargestQueue) {
            return ERROR_INVALID_PARAMETER;
        }
        // Writes are queued whole, so only the input side has a size to keep.
        if (inQueueSize != 0) {
            inputLimit_ = inQueueSize;
        }
        return ERROR_SUCCESS;
    });
}

DWORD CommPort::GetState(DCB& dcb) {
    return WhileOpen([&]() -> DWORD {
        dcb = state_;
        return ERROR_SUCCESS;
    });
}

DWORD CommPort::SetState(const DCB& dcb) {
    return WhileOpen([&]() -> DWORD {
        termios before{};
        if (tcgetattr(fd_, &before) != 0) {
            return Win32ErrorFromErrno(errno);
        }
        termios wanted = before;
        if (const DWORD error = ApplyDcbToTermios(dcb, wanted); error != ERROR_SUCCESS) {
            return error;
        }
        if (tcsetattr(fd_, TCSANOW, &wanted) != 0) {
            return Win32ErrorFromErrno(errno);
        }
        // tcsetattr succeeds when any part was taken: a rate the hardware
        // refused shows only when the settings are read back.
        termios taken{};
        if (tcgetattr(fd_, &taken) != 0 || cfgetospeed(&taken) != cfgetospeed(&wanted)) {
            tcsetattr(fd_, TCSANOW, &before);
            return ERROR_INVALID_PARAMETER;
        }
        if (const DWORD error = ApplyModemLines(fd_, dcb); error != ERROR_SUCCESS) {
            return error;
        }
        state_ = dcb;
        state_.DCBlength = sizeof state_;
        RememberPortState(device_, {state_, timeouts_});
        Wake();  // writes held by CTS may go now
        return ERROR_SUCCESS;
    });
}

DWORD CommPort::SetMask(DWORD mask) {
    return WhileOpen([&]() -> DWORD {
        mask_ = mask;
        history_ = 0;
        EndWait(ERROR_SUCCESS, 0);  // a new mask ends the wait with no events
        if (!writes_.empty() || (mask_ & EV_TXEMPTY) == 0) {
            transmitterCheck_.reset();
        }
        return ERROR_SUCCESS;
    });
}

DWORD CommPort::GetMask(DWORD& mask) {
    return WhileOpen([&]() -> DWORD {
        mask = mask_;
        return ERROR_SUCCESS;
    });
}

DWORD CommPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    return WhileOpen([&]() -> DWORD {
        timeouts = timeouts_;
        return ERROR_SUCCESS;
    });
}

DWORD CommPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    return WhileOpen([&]() -> DWORD {
        if (AreRefusedTimeouts(timeouts)) {
            return ERROR_INVALID_PARAMETER;
        }
        timeouts_ = timeouts;
        RememberPortState(device_, {state_, timeouts_});
        return ERROR_SUCCESS;
    });
}

DWORD CommPort::ClearErrors(DWORD& errors, COMSTAT* status) {
    return WhileOpen([&]() -> DWORD {
        errors = errors_;
        errors_ = 0;
        if (status != nullptr) {
            std::memset(status, 0, sizeof *status);
            status->cbInQue = static_cast<DWORD>(input_.size());
            std::size_t unsent = 0;
            for (const WriteOperation& write : writes_) {
                unsent += write.data.size() - write.sent;
            }
            int queued = 0;
            if (lineError_ == ERROR_SUCCESS && ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
                unsent += static_cast<std::size_t>(queued);
            }
            status->cbOutQue = static_cast<DWORD>(unsent);
        }
        return ERROR_SUCCESS;
    });
}
