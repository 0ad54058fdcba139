// What the line did while it was observed at one rate: the identify
// requests that went out and the pieces of bytes that came back, as the
// port handed them over, each timed from the start of that rate's
// observation. A recording is plain data, so that it can be classified
// again without a port (the tests' recorded lines).
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

struct TimedBytes {
    std::chrono::microseconds at{0};  // since the rate's observation began
    std::vector<std::uint8_t> bytes;  // sent: the sealed frame; received: one read's bytes
};

struct RateRecord {
    std::int32_t baudRate = 0;         // bits per second
    std::vector<TimedBytes> sent;      // in the order sent
    std::vector<TimedBytes> received;  // in the order read, never empty pieces
};
