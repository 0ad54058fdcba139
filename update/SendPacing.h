// When the update's pump may send. One request is outstanding at a time; the
// next goes out as soon as the reply to the previous one has been taken, so
// the line and the instrument set the pace rather than a timer's grid.
//
//  - The default pace keeps at least 50 ms between frames, measured on a
//    monotonic clock: the pace the instrument has always been driven at, and
//    the same frames on a clean line, while a late reply costs only its own
//    lateness instead of a whole tick.
//  - The fast pace, the operator's choice, drops that minimum in the
//    bootloader's write and verify passes: the bootloader answers when it is
//    ready and so paces itself. The first sign of a troubled line in a fast
//    run (a repeat, a failed checksum, a failed verification) brings the rest
//    of the run back to the default pace.
//
// An unanswered request is repeated once its reply can no longer be on the
// way (RepeatTiming.h), and until a little after that a late copy of its
// reply may still arrive while the next request is outstanding.
//
// Times are points of a monotonic clock, as durations since its epoch; they
// are passed in, so the rule runs the same under a test's clock.
#pragma once

#include <chrono>
#include <cstdint>

using PaceTime = std::chrono::nanoseconds;

// At most one frame per this interval at the default pace.
inline constexpr PaceTime kDefaultSendSpacing = std::chrono::milliseconds(50);
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

    // A frame went out at `now`: the outstanding request (`request`: the
    // first time or again) or a keep-alive, which no reply is owed for.
    void Sent(PaceTime now, bool request);
    // A new request is outstanding; it may go out again `repeatInterval`
    // after each send. Copies of the previous request's reply may still come
    // until its own interval and a doubled copy's lag after its last send.
    void NextRequest(PaceTime repeatInterval);
    // How long after `now` the outstanding request may go out again; zero: at once.
    PaceTime WaitBeforeRepeat(PaceTime now) const;
    // A late copy of the previous request's reply may still arrive.
    bool CopyMayArrive(PaceTime now) const;
    // How long after `now` the next frame may go out, once the outstanding
    // request is answered; zero: at once. `passInProgress`: the bootloader
    // writes or verifies, where the fast pace applies.
    PaceTime WaitBeforeNext(PaceTime now, bool passInProgress) const;
    // How long after `now` a keep-alive may go out. Keep-alives go out on the
    // pump's own 50 ms period, which a timer's jitter must not make them
    // skip; only a request that went out between two ticks holds one back.
    PaceTime WaitBeforeKeepAlive(PaceTime now) const;
    // A repeat, failed checksum or failed verification while the fast pace
    // applies: the default pace holds from now on. True when this ended the
    // fast pace (the operator is told once).
    bool FallBack();
    // The fast pace is chosen and has not fallen back.
    bool IsFast() const { return m_pacing == Pacing::Fast; }

private:
    Pacing m_pacing;
    bool m_anySent = false;
    bool m_anyRequestSent = false;
    PaceTime m_lastSent{};        // the last frame of any kind
    PaceTime m_requestSent{};     // the outstanding request's last send
    PaceTime m_repeatInterval{};  // the outstanding request's
    PaceTime m_copiesUntil = PaceTime::min();  // of the previous request's reply
};
