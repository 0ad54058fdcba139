// A scripted instrument on a pseudo-terminal, entered in the device
// namespace as comN so that the real serial classes open it as "\\.\COMn".
// It records every frame the program sends, with the time it arrived and
// the line rate set at that moment, and answers as the test scripts it:
// whole replies, replies in pieces with pauses, or nothing.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PtyInstrument {
public:
    using Clock = std::chrono::steady_clock;

    struct Received {
        Clock::time_point at;
        int rate = 0;  // the line rate in baud when the frame arrived
        std::vector<std::uint8_t> bytes;
    };

    // A piece of a reply: written after a pause in milliseconds.
    struct Piece {
        int pauseMs = 0;
        std::vector<std::uint8_t> bytes;
    };
    // Decides the answer to frame number `index` (from 0); no pieces: silence.
    using Responder = std::function<std::vector<Piece>(const Received& frame, int index)>;

    // Creates the line and enters it as `deviceDir`/com`comNumber`.
    PtyInstrument(const std::string& deviceDir, int comNumber, Responder responder = {});
    ~PtyInstrument();
    PtyInstrument(const PtyInstrument&) = delete;
    PtyInstrument& operator=(const PtyInstrument&) = delete;

    std::vector<Received> Frames() const;

    // Waits until `count` frames have arrived or `timeout` passed; true when
    // they have.
    bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void Serve();
    void Answer(const Received& frame, int index);

    int m_master = -1;
    int m_slave = -1;  // held open so the line lives while the program closes it
    int m_stopPipe[2] = {-1, -1};
    std::string m_link;
    Responder m_responder;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_arrived;
    std::vector<Received> m_frames;
    std::thread m_thread;
    std::vector<std::thread> m_writers;  // one per reply, so pauses never hold up reading
};

// The serial layer's device namespace for this test process: a fresh
// directory named by ZIRON7_DEVICE_DIR, removed at the end.
class PrivateDeviceDir {
public:
    PrivateDeviceDir();
    ~PrivateDeviceDir();
    PrivateDeviceDir(const PrivateDeviceDir&) = delete;
    PrivateDeviceDir& operator=(const PrivateDeviceDir&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
