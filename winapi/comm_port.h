// An open serial port on Linux, standing in for the Win32 serial driver.
//
// The port's driver thread moves received bytes from the tty into the
// port's input queue (of SetupComm's size; what does not fit is dropped and
// reported as CE_RXOVER) as they arrive (which is when EV_RXCHAR and EV_RXFLAG
// happen), feeds pending writes to the tty as it takes them, and completes
// overlapped operations as their conditions are met or their time-outs run
// out. It sleeps in poll() on the tty and a wake-up eventfd, with the
// nearest deadline as the poll time-out: nothing spins.
//
// The port opens with the line state its tty has and with what its last
// user in this process left of the rest (port_memory.h), as a Win32 driver
// keeps a port's state; only SetCommState and SetCommTimeouts change it.
//
// Every member is guarded by one mutex; the tty descriptor is only used
// under it (or by the driver thread, which is joined before it is closed).
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>

#include "comm_device.h"
#include "port_memory.h"
#include "waitable.h"
#include "winapi_comm.h"
#include "winapi_seams.h"

class CommPort final : public CommDevice {
public:
    // Opens `devicePath` exclusively; the error is a Win32 code (32, the
    // sharing violation, when another user holds the port).
    static DWORD Open(const std::string& devicePath, bool overlapped,
                      std::shared_ptr<CommPort>& port);

    ~CommPort() override;
    // Completes everything pending with 995, stops the driver thread and
    // closes the tty, which lets the next open have the port.
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

private:
    using Clock = std::chrono::steady_clock;

    struct Operation {
        // Started now by the calling thread.
        explicit Operation(const Completion& started)
            : completion(started), owner(std::this_thread::get_id()) {}

        Completion completion;
        std::thread::id owner;  // the thread that started it, for CancelIo
        std::optional<Clock::time_point> deadline;
    };
    struct ReadOperation : Operation {
        ReadOperation(const Completion& started, BYTE* into, DWORD count)
            : Operation(started), buffer(into), length(count) {}

        BYTE* buffer;
        DWORD length;
    };
    struct WriteOperation : Operation {
        WriteOperation(const Completion& started, const BYTE* from, DWORD count)
            : Operation(started), data(from, from + count) {}

        std::vector<BYTE> data;  // a copy: the caller's buffer may go on a cancel
        std::size_t sent = 0;
    };
    struct WaitOperation : Operation {
        WaitOperation(const Completion& started, DWORD* into) : Operation(started), events(into) {}

        DWORD* events;
    };

    CommPort(int fd, int wakeFd, bool overlapped, dev_t device, const RememberedPortState& state);

    static void* DriverEntry(void* port);
    void Serve();
    void Wake();
    void Receive(Clock::time_point now);
    void SendPending();
    // CTS output flow control is on and the line has no modem lines to
    // raise CTS (a three-wire cable, a pseudo-terminal): nothing goes out.
    // On a tty with modem lines the kernel itself holds output (CRTSCTS).
    bool CtsHoldsOutput() const;
    void CheckLineErrors(DWORD& events);
    void CheckTransmitterEmpty(Clock::time_point now);
    void Raise(DWORD events);
    void ServeReads(Clock::time_point now);
    void ExpireDeadlines(Clock::time_point now);
    std::optional<Clock::time_point> NextDeadline() const;
    void LoseLine(DWORD error);
    // Whether the front read may finish now, given what the queue holds.
    bool ReadCanFinish(const ReadOperation& read, Clock::time_point now) const;
    DWORD TakeInput(BYTE* buffer, DWORD length);
    // Bytes the input queue may still take: its room, or more while a
    // pending read wants more than the queue holds (a driver fills the
    // reader's buffer directly).
    std::size_t InputRoom() const;

    static void Complete(Operation& operation, DWORD status, DWORD transferred);
    // Completes every queued write with `error` and the count it had sent.
    void FailWrites(DWORD error);
    // Completes the pending event wait, if there is one, with `status`; a
    // wait that succeeds reports `events`, one that fails leaves them alone.
    void EndWait(DWORD status, DWORD events);
    // Runs `call` under the lock; once the port is closing every caller's
    // operation answers ERROR_INVALID_HANDLE instead.
    template <typename Call>
    DWORD WhileOpen(Call call);

    const bool overlapped_;
    const dev_t device_;  // the tty's st_rdev: what the driver keeps is kept under it
    std::mutex lock_;
    int fd_;
    int wakeFd_;
    bool closing_ = false;
    DWORD lineError_ = ERROR_SUCCESS;  // set once the tty is gone (unplugged)

    DCB state_;
    COMMTIMEOUTS timeouts_{};
    DWORD mask_ = 0;
    DWORD history_ = 0;  // events in the mask that no wait has taken yet
    DWORD errors_ = 0;   // CE_ bits not yet taken by ClearCommError
    LineErrorCounters counters_;
    bool modemLines_ = false;  // the tty has DTR, RTS, CTS, ...
    bool countersKnown_ = false;

    std::deque<BYTE> input_;
    std::size_t inputLimit_;
    Clock::time_point lastArrival_{};
    std::optional<Clock::time_point> transmitterCheck_;

    std::deque<ReadOperation> reads_;
    std::deque<WriteOperation> writes_;
    std::optional<WaitOperation> wait_;

    pthread_t driver_{};
    bool driverRunning_ = false;
};
