#include "OwnEcho.h"

#include <algorithm>

#include "LinkFrame.h"
#include "MonotonicClock.h"
#include "ReplyTransit.h"
#include "WriteLimit.h"

namespace {

constexpr std::uint64_t kMicrosecondsPerSecond = 1'000'000;

// The longest the frame of `length` bytes takes on the line at `baudRate`,
// counted with the most bit times a character can take.
std::chrono::microseconds WireTime(std::size_t length, std::uint32_t baudRate) {
    const std::uint32_t rate = baudRate != 0 ? baudRate : kSlowestLineRate;
    return std::chrono::microseconds(length * kMostBitsPerCharacter * kMicrosecondsPerSecond /
                                     rate);
}

}  // namespace

LONG OwnEcho::Send(CSerialListener& port, std::uint8_t* frame, Answer answer) {
    // The echo starts coming back with the first byte written: counted from
    // before the write, whatever the write itself takes.
    const Clock::time_point at = MonotonicNow();
    const LONG rate = port.GetBaudRate();
    const LONG result = port.SendFrame(frame);
    const std::size_t length =
        static_cast<std::size_t>(kFrameOverhead) + frame[kFrameLengthIndex];
    Sent(std::span<const std::uint8_t>(frame, length), rate > 0 ? static_cast<std::uint32_t>(rate) : 0,
         at, answer);
    return result;
}

void OwnEcho::Expect(std::span<const std::uint8_t> sealed, Answer answer) {
    m_lastSent.assign(sealed.begin(), sealed.end());
    m_echoesOwed = 0;
    m_echoDueBy = Clock::time_point::min();
    m_answer = answer;
}

void OwnEcho::Sent(std::span<const std::uint8_t> sealed, std::uint32_t baudRate,
                   Clock::time_point at, Answer answer) {
    const bool sameAgain = m_echoesOwed > 0 && at <= m_echoDueBy &&
                           std::ranges::equal(sealed, m_lastSent);
    m_echoesOwed = sameAgain ? m_echoesOwed + 1 : 1;
    m_lastSent.assign(sealed.begin(), sealed.end());
    m_echoDueBy = at + WireTime(sealed.size(), baudRate) +
                  std::chrono::milliseconds(kEchoTransitMs);
    m_answer = answer;
}

bool OwnEcho::IsOwnEcho(std::span<const std::uint8_t> frame, Clock::time_point now) {
    if (!std::ranges::equal(frame, m_lastSent)) {
        return false;
    }
    if (m_answer == Answer::AlwaysDiffers) {
        // No answer can be this frame, however late it comes: a busy PC or
        // adapter returns our own request after its window, and taken for a
        // reply it would name a device that is not there.
        m_lineEchoes = true;
        if (m_echoesOwed == 0 || now > m_echoDueBy) {
            ++m_lateEchoes;
        } else {
            --m_echoesOwed;
        }
        ++m_echoes;
        return true;
    }
    if (m_echoesOwed == 0 || now > m_echoDueBy || !m_lineEchoes) {
        return false;  // on a line not known to echo, or too late: the answer
    }
    --m_echoesOwed;
    ++m_echoes;
    return true;
}
