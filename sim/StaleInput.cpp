#include "StaleInput.h"

#include <algorithm>
#include <array>
#include <random>

#include "InstrumentProtocol.h"

namespace sim {
namespace {

// An identify reply's first bytes: start byte, command with bit 7 set (as
// some programs mark replies), payload length, device type.
constexpr std::uint8_t kReplyBit = 0x80;
constexpr std::uint8_t kIdentifyPayloadLength = 5;
constexpr std::uint8_t kZiron7Type = 3;
constexpr std::array<std::uint8_t, 4> kOldReplyStart = {
    kReplyStartByte, static_cast<std::uint8_t>(kCmdIdentify | kReplyBit), kIdentifyPayloadLength,
    kZiron7Type};

}  // namespace

std::vector<std::uint8_t> StaleInputBytes(std::size_t count, std::uint64_t seed) {
    std::vector<std::uint8_t> bytes(kOldReplyStart.begin(),
                                    kOldReplyStart.begin() + std::min(count, kOldReplyStart.size()));
    std::mt19937_64 noise(seed);
    std::uniform_int_distribution<int> byte(0, 0xFF);
    while (bytes.size() < count) {
        bytes.push_back(static_cast<std::uint8_t>(byte(noise)));
    }
    return bytes;
}

std::vector<std::uint8_t> StaleInput(const SimOptions& options) {
    // The instrument's replies and the updater's requests are framed alike:
    // an identify request is an identify frame without payload.
    const std::vector<std::uint8_t> request = SealReply(Reply{kCmdIdentify, {}}, false);
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < options.staleRequests; ++i) {
        bytes.insert(bytes.end(), request.begin(), request.end());
    }
    const std::vector<std::uint8_t> noise = StaleInputBytes(
        static_cast<std::size_t>(options.staleInputBytes), options.seed.value_or(0));
    bytes.insert(bytes.end(), noise.begin(), noise.end());
    return bytes;
}

}  // namespace sim
