// Watching the line at each search rate: identify requests, the identify
// request alone, so a diagnosis never switches the instrument anywhere,
// and every piece of bytes that comes back, timed as it arrives.
#pragma once

#include <chrono>
#include <vector>

#include "LineRecord.h"

class CSerialBase;

// Requests per rate, as the search sends three per rate.
inline constexpr int kDiagnosisRequestsPerRate = 3;
// The time each request is given to be answered before the next goes out:
// room for the request and the reply at 4800 baud (10 and 21 ms), an
// adapter's latency timer of up to 40 ms and its echo.
inline constexpr std::chrono::milliseconds kDiagnosisRequestPeriod{80};
// How often the port is asked for what has arrived: the pieces' times are
// this exact.
inline constexpr std::chrono::milliseconds kDiagnosisPollPeriod{1};

// The line at `baudRate`: the port (open, not owned) is set to the rate at
// 8N1, whatever it still held is discarded, and the requests go out one
// period apart. Takes kDiagnosisRequestsPerRate periods; one period more
// at most while bytes are still coming in (until the line has been quiet
// for the receive gap), and the write limit of one request (WriteLimit.h)
// on a line that stalls writes: a request that cannot be written, or not
// within its period, ends the rate.
RateRecord ObserveRate(CSerialBase& port, std::int32_t baudRate);

// ObserveRate at every rate of the search, in the search's order.
std::vector<RateRecord> ObserveLine(CSerialBase& port);
