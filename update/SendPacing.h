// When the update's pump may send. One request is outstanding at a time; the
// next goes out as soon as the reply to the previous one has been taken, so
// the line and the instrument set the pace rather than a timer's grid.
//
//  - The default pace keeps one frame per 50 ms, as a periodic pump does:
//    each frame is due 50 ms after the previous one was due, so that a
//    timer that fires late does not push every later frame back, and a
//    late reply costs only its own lateness instead of a whole tick. No
//    frame starts on the wire closer than 40 ms after the previous one,
//    however long a write was held up: the most a periodic pump's jitter
//    allows. A write that takes its frame's wire time (a UART that is fed as
//    the bytes leave) does not push the grid back.
//  - The fast pace, the operator's choice, drops that minimum in the
//    bootloader's write and verify passes: the bootloader answers when it is
//    ready and so paces itself. The first sign of a troubled line in a fast
//    run (a repeat, a failed checksum, a failed verification) brings the rest
//    of the run back to the default pace.
//
// An unanswered request is repeated once its reply can no longer be on the
// way (RepeatTiming.h). A copy of a reply may still arrive while a later
// request is outstanding: within a doubled copy's lag of the reply when the
// request went out once, else until a little after the last send's reply
// could have come. Copies are expected per command: a status reply names
// no request, so copies of one repeated before a switch may still come
// after the switch and its settle, and the switch (never answered) must not
// end their time. And per rate: a reply sent at one rate is garbled at
// another, so copies of replies asked at a rate the port no longer listens
// at hold back nothing (the main program's late statuses while the port
// asks the bootloader at its own rate).
//
// Times are points of a monotonic clock, as durations since its epoch; they
// are passed in, so the rule runs the same under a test's clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <utility>

using PaceTime = std::chrono::nanoseconds;

// One frame per this interval at the default pace.
inline constexpr PaceTime kDefaultSendSpacing = std::chrono::milliseconds(50);
// At the default pace no frame starts closer than this after the previous
// frame started on the wire.
inline constexpr PaceTime kMinimumSendGap = std::chrono::milliseconds(40);
// A copy of a reply doubled by the line follows the first within this.
inline constexpr PaceTime kDoubledCopyLag = std::chrono::milliseconds(50);

enum class Pacing : std::uint8_t {
    Default,  // at most one frame per kDefaultSendSpacing
    Fast,     // writing and verifying: the next frame once the reply is taken
};

// The program's clock now (MonotonicClock.h).
PaceTime PaceNow();

class SendPacer {
public:
    explicit SendPacer(Pacing chosen = Pacing::Default) : m_pacing(chosen) {}

    // When a frame went out: `due` on the pace's grid; `started`, the latest
    // its bytes can have started on the wire (when the write was issued, or
    // its end less the frame's wire time when the write was held up); `left`,
    // when its write completed.
    struct FrameTimes {
        PaceTime due;
        PaceTime started;
        PaceTime left;
    };
    // A frame went out. `request`: the outstanding request (the first time
    // or again) rather than a keep-alive, which no reply is owed for.
    void Sent(const FrameTimes& times, bool request);
    // The reply to the outstanding request was taken at `now`.
    void ReplyTaken(PaceTime now);
    // A new request of the command `command` is outstanding, at `baudRate`
    // baud; it may go out again `repeatInterval` after each send.
    void NextRequest(PaceTime repeatInterval, std::uint8_t command, std::uint32_t baudRate);
    // When the outstanding request may go out again.
    PaceTime RepeatDue() const;
    // A late copy of the reply to an earlier request of the command
    // `command` may still arrive while the port listens at `baudRate` baud.
    bool CopyMayArrive(PaceTime now, std::uint8_t command, std::uint32_t baudRate) const;
    // The earliest moment to send a request of the command `command` at
    // `baudRate` baud whose reply may equal an earlier one's and takes at
    // least `exchange` to come: its reply then arrives only once no copy of
    // an earlier one can.
    PaceTime AfterCopies(PaceTime exchange, std::uint8_t command, std::uint32_t baudRate) const;
    // When the next frame, ready at `readyAt` (the outstanding request
    // answered), is due; `readyAt` itself when the pace holds it no longer.
    // `passInProgress`: the bootloader writes or verifies, where the fast
    // pace applies.
    PaceTime NextDue(PaceTime readyAt, bool passInProgress) const;
    // How long after `now` a keep-alive may go out. Keep-alives go out on the
    // pump's own 50 ms period, which a timer's jitter must not make them
    // skip; only a request that went out between two ticks, or a frame whose
    // write was held up, holds one back.
    PaceTime WaitBeforeKeepAlive(PaceTime now) const;
    // A repeat, failed checksum or failed verification while the fast pace
    // applies: the default pace holds from now on. True when this ended the
    // fast pace (the operator is told once).
    bool FallBack();
    // The fast pace is chosen and has not fallen back.
    bool IsFast() const { return m_pacing == Pacing::Fast; }

private:
    // The earliest moment the spacing allows any frame after the last.
    PaceTime SpacedAfterLast() const;
    // Copies of the outstanding request's replies may come until `until`;
    // those of earlier requests keep their own time.
    void ExpectCopiesUntil(PaceTime until);
    // Until when replies to the outstanding request may come once it is
    // given up unanswered.
    PaceTime GivenUpCopiesUntil() const;

    Pacing m_pacing;
    bool m_anySent = false;
    bool m_anyRequestSent = false;
    PaceTime m_lastDue{};          // the last frame of any kind: when it was due
    PaceTime m_lastStarted{};      // and when it started on the wire
    PaceTime m_requestDue{};       // the outstanding request's last send: when it was due
    PaceTime m_requestLeft{};      // and when its bytes had left
    // The outstanding request's first send, or that of the first of the
    // requests of its command given up unanswered right before it: when its
    // bytes had left.
    PaceTime m_firstRequestLeft{};
    std::uint32_t m_requestSends = 0;  // times those requests went out
    bool m_answered = false;       // the outstanding request's reply was taken
    PaceTime m_repeatInterval{};   // the outstanding request's
    std::uint8_t m_command = 0;    // the outstanding request's
    std::uint32_t m_baudRate = 0;  // and the rate it goes out at
    // Per command code and rate: until when copies of earlier requests'
    // replies may come.
    std::map<std::pair<std::uint8_t, std::uint32_t>, PaceTime> m_copiesUntil;

    PaceTime CopiesUntil(std::uint8_t command, std::uint32_t baudRate) const;
};
