// A scripted instrument on a pseudo-terminal entered as comN in a device
// folder, so that the real serial classes open it as "\\.\COMn". It cuts
// what the program sends into frames by their length byte, records each
// with the time it arrived and the line rate set at that moment, and
// answers as the test scripts it: whole replies, replies in pieces with
// pauses, or nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"

namespace testsupport {

class PtyInstrument {
public:
    using Clock = std::chrono::steady_clock;

    struct Received {
        Clock::time_point at;
        int rate = 0;                     // the line rate in baud when the frame arrived
        std::vector<std::uint8_t> bytes;  // the whole frame, CRC included
        std::uint8_t Command() const { return bytes.size() > 1 ? bytes[1] : 0; }
    };

    // A piece of a reply: written after a pause in milliseconds.
    struct Piece {
        int pauseMs = 0;
        std::vector<std::uint8_t> bytes;
    };
    // Decides the answer to frame number `index` (from 0); no pieces: silence.
    // Called on the instrument's own thread.
    using Responder = std::function<std::vector<Piece>(const Received& frame, int index)>;

    // Creates the line and enters it as `deviceDir`/com`comNumber`.
    PtyInstrument(const std::string& deviceDir, int comNumber, Responder responder = {});
    // Waits for replies still being written, then removes the line.
    ~PtyInstrument();
    PtyInstrument(const PtyInstrument&) = delete;
    PtyInstrument& operator=(const PtyInstrument&) = delete;

    std::vector<Received> Frames() const;

    // Waits until `count` frames have arrived or `timeout` passed; true when
    // they have.
    bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

    // From the next frame on (or this one, when called from the responder)
    // the instrument stops reading and the line fills up, so that the
    // port's writes wait: a stalled line.
    void StopReading() { m_stopReading.store(true); }
    // From the next frame on (or this one, from the responder) the line
    // hangs up: the adapter is pulled out.
    void HangUp() { m_hangUp.store(true); }

    // Writes `bytes` now, outside any reply.
    void Send(std::span<const std::uint8_t> bytes) const { m_pty.WriteAll(bytes); }

private:
    void Serve();
    void Answer(const Received& frame, int index);
    // Waits for the stop, doing nothing more on the line.
    void IdleUntilStopped() const;
    // Waits for the stop, keeping the line full meanwhile.
    void KeepFullUntilStopped();

    PseudoTerminal m_pty;
    int m_stopPipe[2] = {-1, -1};
    Responder m_responder;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_arrived;
    std::vector<Received> m_frames;
    std::atomic<bool> m_stopReading{false};
    std::atomic<bool> m_hangUp{false};
    std::thread m_thread;
    // One per reply that pauses, so that its pauses never hold up reading.
    std::vector<std::thread> m_writers;
};

}  // namespace testsupport
