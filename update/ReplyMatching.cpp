#include "ReplyMatching.h"

#include <algorithm>

#include "CommandSet.h"
#include "LinkFrame.h"
#include "RepeatTiming.h"

namespace {

// A bootloader reply: the operation code, then what may echo the address,
// low byte first.
constexpr std::size_t kReplyOperation = 0;
constexpr std::size_t kReplyAddress = 1;
constexpr std::size_t kReplyEchoLength = 3;
// Each send may be answered once and the answer delivered twice.
constexpr std::uint32_t kRepliesPerSend = 2;

bool EchoesAddress(std::span<const std::uint8_t> request, std::span<const std::uint8_t> payload) {
    const std::size_t addressIndex = kFramePayloadIndex + kLoaderAddressOffset;
    return payload.size() >= kReplyEchoLength && payload[kReplyAddress] == request[addressIndex] &&
           payload[kReplyAddress + 1] == request[addressIndex + 1];
}

}  // namespace

void LoaderReplyMatcher::NextRequest(std::optional<std::uint8_t> previousOperation,
                                     std::uint32_t previousSends) {
    if (previousOperation && previousSends > 0) {
        // One of the replies its sends could draw was taken.
        m_copiesOwed[*previousOperation] += previousSends * kRepliesPerSend - 1;
    }
}

bool LoaderReplyMatcher::Answers(std::span<const std::uint8_t> request,
                                 std::span<const std::uint8_t> reply, bool copyMayArrive) {
    const std::size_t operationIndex = kFramePayloadIndex + kLoaderOperationOffset;
    if (request.size() < kFramePayloadIndex + kLoaderAddressOffset + 2) {
        return false;
    }
    if (request[operationIndex] == BL_SWITCH) {
        return DecodeSwitchAcknowledgement(reply).has_value();
    }
    const std::span<const std::uint8_t> payload = ReplyPayload(reply);
    if (payload.empty() || payload[kReplyOperation] != request[operationIndex]) {
        return false;
    }
    if (m_assumesEcho) {
        if (EchoesAddress(request, payload)) {
            return true;
        }
        if (std::uint32_t& owed = m_copiesOwed[payload[kReplyOperation]]; owed > 0) {
            --owed;  // with an echo, this can only be a late copy
            return false;
        }
        if (copyMayArrive) {
            return false;
        }
        // The right operation at another address, when no copy of an
        // earlier reply can still come: this bootloader does not echo.
        m_assumesEcho = false;
        return true;
    }
    // Without the address, a reply of the operation taken last that comes
    // while a copy of that reply may still come can be that copy, whatever
    // its bytes (a repeat's answer carries fresh ones): it is passed over, and
    // the pump sends such a request only late enough for its own reply to
    // come after (MayAnswerAlike).
    return !(copyMayArrive && !m_lastTaken.empty() && payload[kReplyOperation] == m_lastTaken[kReplyOperation]);
}

void LoaderReplyMatcher::Taken(std::span<const std::uint8_t> reply) {
    const std::span<const std::uint8_t> payload = ReplyPayload(reply);
    m_lastTaken.assign(payload.begin(), payload.end());
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

void InfoReplyFilter::Taken(std::span<const std::uint8_t> payload) {
    m_taken.emplace_back(payload.begin(), payload.end());
    // The reply taken is one of those the sends could draw.
    m_copiesLeft += std::max<std::uint32_t>(m_sendsOfStep, 1) * kRepliesPerSend - 1;
    m_sendsOfStep = 0;
}

bool LoaderReplyMatcher::MayAnswerAlike(std::span<const std::uint8_t> request) const {
    const std::size_t operationIndex = kFramePayloadIndex + kLoaderOperationOffset;
    return !m_assumesEcho && !m_lastTaken.empty() && request.size() > operationIndex &&
           request[kFrameCommandIndex] == CMD_LOADER &&
           request[operationIndex] == m_lastTaken[kReplyOperation];
}
