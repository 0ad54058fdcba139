// Our own frames coming back. Two-wire adapters and loopback plugs return
// every byte the program sends, so each request comes back as a valid frame
// of its own, just after it went out and before the instrument's answer.
// Such a frame answers nothing: both dialogs pass it over before their reply
// handling sees it, so it neither holds the search at a rate nor feeds the
// update's watchdog. On a clean line nothing is passed over.
//
// The echo is a frame byte for byte identical to the one sent last. Where
// no answer can equal that request, every such frame is ours, however late
// it comes. A bootloader operation answered by its code and address alone is
// answered by a frame identical to its request: such an identical frame is
// taken for the echo only once this line has shown that it echoes, by
// returning a request that no answer can equal, only within the frame's wire
// time plus kEchoTransitMs of its send, and only one per send: the same
// frame sent again before its echo was taken in (a busy dialog) owes two.
//
// Each receiving dialog owns one; it holds a copy of the frame sent last (or,
// before the first send, of the one it is going to send).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "SerialListener.h"

class OwnEcho {
public:
    // The program's clock (MonotonicClock.h) tells its times in this one's points.
    using Clock = std::chrono::steady_clock;

    // Whether the instrument's answer to a request can be that request byte
    // for byte.
    enum class Answer { AlwaysDiffers, MayEqualRequest };

    // Sends `frame` (unsealed, with room for the CRC; SendFrame seals it)
    // through `port` and remembers it as sent now at the port's rate. The
    // result is SendFrame's.
    LONG Send(CSerialListener& port, std::uint8_t* frame, Answer answer);

    // `sealed` (CRC included) is what this dialog sends, though it has not
    // yet. Where no answer can equal it, a copy that comes back first is
    // the echo of whoever used the line before (a diagnosis, an earlier
    // search) still on its way when the port opened: passed over, and
    // counted as late.
    void Expect(std::span<const std::uint8_t> sealed, Answer answer);

    // `sealed` (CRC included) went out at `at`, its write started at
    // `baudRate` baud.
    void Sent(std::span<const std::uint8_t> sealed, std::uint32_t baudRate, Clock::time_point at,
              Answer answer);

    // True when `frame`, a whole checked frame taken in at `now`, is the
    // echo of the frame sent last: it is to be passed over, and counted.
    bool IsOwnEcho(std::span<const std::uint8_t> frame, Clock::time_point now);

    // This line has returned one of our frames that no answer could be.
    bool LineEchoes() const { return m_lineEchoes; }
    // Frames passed over as our own so far.
    std::size_t EchoesPassedOver() const { return m_echoes; }
    // Of those, the ones past their window or beyond one per send: an
    // adapter or a busy PC that held them.
    std::size_t LateEchoesPassedOver() const { return m_lateEchoes; }

private:
    std::vector<std::uint8_t> m_lastSent;  // sealed, as it went out
    Clock::time_point m_echoDueBy;         // the latest its echo can arrive
    Answer m_answer = Answer::AlwaysDiffers;
    std::size_t m_echoesOwed = 0;  // sends of the frame sent last not come back yet
    bool m_lineEchoes = false;
    std::size_t m_echoes = 0;
    std::size_t m_lateEchoes = 0;
};
