#include "RepeatTiming.h"

#include <algorithm>

#include "CommandSet.h"
#include "LinkFrame.h"

namespace {

constexpr std::uint32_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
constexpr std::uint64_t kMicrosecondsPerSecond = 1'000'000;
constexpr std::uint64_t kMicrosecondsPerMs = 1'000;

// Payload lengths of the replies, in bytes.
constexpr std::uint32_t kIdentifyReplyPayload = 5;
constexpr std::uint32_t kStatusReplyPayload = 1;
constexpr std::uint32_t kDateReplyPayload = kBuildDateTextLength;
constexpr std::uint32_t kTimeReplyPayload = kBuildTimeTextLength;
constexpr std::uint32_t kFirmwareIdentityReplyPayload = 8;
constexpr std::uint32_t kSwitchAcknowledgementPayload = 1;
constexpr std::uint32_t kLoaderEchoPayload = 3;  // operation code, address
constexpr std::uint32_t kReadBackReplyPayload = kLoaderEchoPayload + kReadBackBlockSize;
constexpr std::uint32_t kFinalQueryReplyPayload = kLoaderEchoPayload + 4;  // checksum, end value

std::uint32_t InfoReplyPayload(std::uint8_t step) {
    switch (step) {
        case kInfoStepDate:
            return kDateReplyPayload;
        case kInfoStepTime:
            return kTimeReplyPayload;
        default:
            return kFirmwareIdentityReplyPayload;
    }
}

std::uint32_t LoaderReplyPayload(std::span<const std::uint8_t> payload) {
    if (payload.size() < kLoaderDataOffset) {
        return 0;
    }
    const std::uint16_t address = static_cast<std::uint16_t>(
        payload[kLoaderAddressOffset] | (payload[kLoaderAddressOffset + 1] << 8));
    switch (payload[kLoaderOperationOffset]) {
        case BL_SWITCH:
            return kSwitchAcknowledgementPayload;
        case BL_READ_BACK:
            return address == kFinalQueryAddress ? kFinalQueryReplyPayload : kReadBackReplyPayload;
        default:
            return kLoaderEchoPayload;
    }
}

// Payload length of the reply to `request`; empty when none is known.
std::uint32_t ReplyPayloadFor(std::span<const std::uint8_t> request) {
    const std::span<const std::uint8_t> payload = request.subspan(kFramePayloadIndex);
    switch (request[kFrameCommandIndex] & ~kReplyFlagBit) {
        case CMD_IDENTIFY:
            return kIdentifyReplyPayload;
        case CMD_STATUS:
            return kStatusReplyPayload;
        case CMD_INFO:
            return payload.empty() ? 0 : InfoReplyPayload(payload[0]);
        case CMD_LOADER:
            return LoaderReplyPayload(payload);
        default:
            return 0;
    }
}

bool IsSwitchRequest(std::span<const std::uint8_t> request) {
    const std::size_t operationIndex = kFramePayloadIndex + kLoaderOperationOffset;
    return (request[kFrameCommandIndex] & ~kReplyFlagBit) == CMD_LOADER &&
           request.size() > operationIndex && request[operationIndex] == BL_SWITCH;
}

}  // namespace

std::uint32_t ExpectedReplyLength(std::span<const std::uint8_t> request) {
    if (request.size() < static_cast<std::size_t>(kFrameHeaderSize)) {
        return 0;
    }
    const std::uint32_t payload = ReplyPayloadFor(request);
    return payload == 0 ? 0 : payload + kFrameOverhead;
}

bool AnswerMayEqualRequest(std::span<const std::uint8_t> request) {
    return ExpectedReplyLength(request) == request.size() + kFrameCrcSize;
}

namespace {

PaceTime WireTimeOf(std::uint64_t bytesOnWire, std::uint32_t baudRate) {
    if (baudRate == 0) {
        return PaceTime::zero();
    }
    return std::chrono::microseconds(
        static_cast<std::int64_t>(bytesOnWire * kBitsPerByte * kMicrosecondsPerSecond / baudRate));
}

}  // namespace

PaceTime FrameWireTime(std::span<const std::uint8_t> frame, std::uint32_t baudRate) {
    return WireTimeOf(frame.size(), baudRate);
}

PaceTime ExchangeWireTime(std::span<const std::uint8_t> request, std::uint32_t baudRate) {
    return WireTimeOf(request.size() + kFrameCrcSize + ExpectedReplyLength(request), baudRate);
}

PaceTime RepeatInterval(std::span<const std::uint8_t> request, std::uint32_t baudRate) {
    if (baudRate == 0) {
        return kDefaultSendSpacing;
    }
    const std::uint64_t wireUs = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(ExchangeWireTime(request, baudRate))
            .count());
    std::uint64_t neededUs = wireUs + kReplyTransitMs * kMicrosecondsPerMs;
    if (IsSwitchRequest(request)) {
        neededUs = std::max<std::uint64_t>(neededUs, kSwitchRepeatMs * kMicrosecondsPerMs);
    }
    // Whole periods of the default pace, as the repeats have always been
    // timed: a line slower than the margin allows (a reply late by more
    // than the bootloader's own time) still gets the rest of the period
    // before a repeat draws a second reply.
    const std::uint64_t periodUs =
        std::chrono::duration_cast<std::chrono::microseconds>(kDefaultSendSpacing).count();
    const std::uint64_t periods = std::max<std::uint64_t>(1, (neededUs + periodUs - 1) / periodUs);
    return std::chrono::microseconds(static_cast<std::int64_t>(periods * periodUs));
}
