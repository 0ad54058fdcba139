// What came back at one rate, told from its recording: the bytes go through
// the program's own frame assembly (FrameReassembler, with its 50 ms receive
// gap) and our own frames are told apart as the dialogs tell them (OwnEcho),
// so a diagnosis sees the line exactly as the search does.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "CommandSet.h"
#include "LineRecord.h"

// What the line answered at a rate, the most telling first when several
// things came back (an echoing adapter with an instrument behind it is an
// instrument).
enum class RateAnswer {
    Nothing,        // no byte came back
    Garbage,        // bytes that never formed a valid frame
    OwnEcho,        // only our own requests, byte for byte (late ones too)
    AnotherDevice,  // a valid frame of another command or device type
    Ziron7,         // an identify reply of device type 3
};

// How late the bytes came after each request, and in how many pieces. A
// "reply" here is whatever came back between one request and the next.
struct ReplyTiming {
    std::size_t replies = 0;  // requests after which anything came back
    // From the end of the request's and the first byte's own wire time (8N1)
    // to the first piece: the time the far end and the adapter held them.
    // Only of replies that began after their request: a request sent while
    // an earlier reply was still coming in is followed by that reply's tail.
    std::chrono::microseconds leastLate{0};
    std::chrono::microseconds mostLate{0};
    // The median of them (the lower of the two middle ones): one reply the
    // machine delayed, or one taken for prompt, does not move it.
    std::chrono::microseconds typicalLate{0};
    std::size_t mostPieces = 0;  // the most reads one reply came in
    // The longest quiet time between two pieces of one reply: an adapter
    // passes received bytes on in bursts when its latency timer expires.
    std::chrono::microseconds largestGap{0};
};

struct RateFinding {
    std::int32_t baudRate = 0;  // bits per second
    RateAnswer answer = RateAnswer::Nothing;
    std::size_t bytesReceived = 0;
    std::size_t ownEchoes = 0;  // our own frames that came back within their wire time
    // Our own frames that came back later than an echo may (OwnEcho.h):
    // held by an adapter or a busy PC.
    std::size_t lateEchoes = 0;
    std::size_t replyFrames = 0;  // valid frames other than our own
    // Of the most telling frame: its command (bit 7 cleared), and for an
    // identify reply what it says of the device.
    std::optional<std::uint8_t> command;
    std::optional<IdentifyReply> identity;
    ReplyTiming timing;
};

RateFinding ClassifyRate(const RateRecord& record);
