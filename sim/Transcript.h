// What crossed the wire, for tests and people: one JSON object per line and
// per frame received or sent, written as it happens:
//   {"t":1.234567,"dir":"in","rate":9600,"program":"main",
//    "meaning":"identify request","outcome":"answered","hex":"FE 46 00 22 50"}
// "t" counts seconds from the simulator's start; "rate" is the instrument's
// rate in baud; "outcome" (received frames only) tells what became of it.
#pragma once

#include "InstrumentProtocol.h"
#include "Wire.h"

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace sim {

// What a received frame asks, in words.
std::string DescribeRequest(const Request& request);

class Transcript {
public:
    explicit Transcript(SimTime start) : m_start(start) {}
    ~Transcript();
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    // Writes to `path` from now on; without a call the transcript is off.
    bool Open(const std::string& path, std::string& error);

    struct Entry {
        SimTime at;
        bool received = false;
        std::uint32_t rate = 0;
        std::string_view program;
        std::string_view meaning;
        std::string_view outcome;  // received frames only
        std::span<const std::uint8_t> bytes;
    };
    void Record(const Entry& entry);
    // Whether Record writes anything: what an entry needs (a frame's
    // meaning in words) is made only then.
    bool IsOpen() const { return m_file != nullptr; }

private:
    SimTime m_start;
    std::FILE* m_file = nullptr;  // owned
};

}  // namespace sim
