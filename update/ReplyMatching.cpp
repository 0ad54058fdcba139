#include "ReplyMatching.h"

#include <algorithm>

#include "CommandSet.h"
#include "LinkFrame.h"

namespace {

// A bootloader reply echoes the operation code, then the address low byte first.
constexpr std::size_t kEchoOperation = 0;
constexpr std::size_t kEchoAddress = 1;
constexpr std::size_t kEchoLength = 3;
// Each send may be answered once and the answer delivered twice.
constexpr std::uint32_t kRepliesPerSend = 2;

}  // namespace

bool AnswersLoaderRequest(std::span<const std::uint8_t> request,
                          std::span<const std::uint8_t> reply) {
    const std::size_t operationIndex = kFramePayloadIndex + kLoaderOperationOffset;
    const std::size_t addressIndex = kFramePayloadIndex + kLoaderAddressOffset;
    if (request.size() < addressIndex + 2) {
        return false;
    }
    if (request[operationIndex] == BL_SWITCH) {
        return DecodeSwitchAcknowledgement(reply).has_value();
    }
    const std::span<const std::uint8_t> payload = ReplyPayload(reply);
    return payload.size() >= kEchoLength && payload[kEchoOperation] == request[operationIndex] &&
           payload[kEchoAddress] == request[addressIndex] &&
           payload[kEchoAddress + 1] == request[addressIndex + 1];
}

bool InfoReplyFilter::IsLateCopy(std::span<const std::uint8_t> payload) {
    if (m_copiesLeft == 0) {
        return false;
    }
    const bool seen = std::any_of(m_taken.begin(), m_taken.end(), [&](const auto& taken) {
        return std::equal(taken.begin(), taken.end(), payload.begin(), payload.end());
    });
    if (seen) {
        --m_copiesLeft;
    }
    return seen;
}

void InfoReplyFilter::Taken(std::span<const std::uint8_t> payload, std::uint32_t sends) {
    m_taken.emplace_back(payload.begin(), payload.end());
    // The reply taken is one of those the sends could draw.
    m_copiesLeft += std::max<std::uint32_t>(sends, 1) * kRepliesPerSend - 1;
}
