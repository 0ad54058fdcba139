// Waiting for a descriptor to become readable, by a deadline.
#pragma once

#include <poll.h>

#include <algorithm>
#include <chrono>

namespace testsupport {

// poll(2) on `fd` for input until `deadline`: above 0 when readable, 0 when
// the deadline passed.
inline int PollFor(int fd, std::chrono::steady_clock::time_point deadline) {
    using std::chrono::milliseconds;
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    pollfd watched{fd, POLLIN, 0};
    return ::poll(&watched, 1, static_cast<int>(std::max<long long>(left, 0)));
}

}  // namespace testsupport
