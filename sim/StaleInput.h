// Bytes an adapter kept from before the updater opened the line: what an
// earlier session's instrument said while no one listened, and what an
// echoing line returned of the requests an earlier user of the port sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "SimOptions.h"

namespace sim {

// `count` bytes: the start of an old identify reply (start byte, command,
// length, device type), so that they look like a frame's beginning, then
// noise drawn from `seed`; fewer than four bytes are that start cut short.
std::vector<std::uint8_t> StaleInputBytes(std::size_t count, std::uint64_t seed);

// All that waits as `options` say: their stale identify requests, sealed as
// the updater sends them, then their stale bytes.
std::vector<std::uint8_t> StaleInput(const SimOptions& options);

}  // namespace sim
