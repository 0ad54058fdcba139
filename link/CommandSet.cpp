#include "CommandSet.h"

#include <algorithm>

#include "LinkFrame.h"

namespace {

constexpr std::uint8_t kStatusBootloaderBit = 0x02;  // status payload byte 0

// Payload layouts of the replies, in payload bytes.
constexpr std::size_t kIdentifyReplyLength = 5;
constexpr std::size_t kFirmwareIdentityReplyLength = 8;
constexpr std::size_t kSwitchAcknowledgementLength = 1;
constexpr std::size_t kLoaderReplyDataOffset = 3;  // after the operation and two unread bytes
constexpr std::size_t kFinalQueryReplyLength = kLoaderReplyDataOffset + 4;

std::uint16_t ReadLittleEndian16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t ReadLittleEndian32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(ReadLittleEndian16(bytes, offset)) |
           (static_cast<std::uint32_t>(ReadLittleEndian16(bytes, offset + 2)) << 16);
}

RequestBytes BuildPlainRequest(std::uint8_t command, std::span<const std::uint8_t> payload) {
    RequestBytes frame(kFrameHeaderSize + payload.size());
    frame[kFrameStartIndex] = kRequestStartByte;
    frame[kFrameCommandIndex] = command;
    frame[kFrameLengthIndex] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + kFramePayloadIndex);
    return frame;
}

}  // namespace

AccessCodeBytes AccessCodeFromParts(std::uint32_t low, std::uint32_t high) {
    return {static_cast<std::uint8_t>(high >> 8), static_cast<std::uint8_t>(high),
            static_cast<std::uint8_t>(low >> 24), static_cast<std::uint8_t>(low >> 16),
            static_cast<std::uint8_t>(low >> 8),  static_cast<std::uint8_t>(low)};
}

void WriteLoaderHeader(std::uint8_t* frame, std::uint8_t startByte, std::uint8_t command,
                       std::uint8_t payloadLength, const AccessCodeBytes& accessCode,
                       std::uint8_t operation, std::uint16_t address) {
    frame[kFrameStartIndex] = startByte;
    frame[kFrameCommandIndex] = command;
    frame[kFrameLengthIndex] = payloadLength;
    std::uint8_t* payload = frame + kFramePayloadIndex;
    std::copy(accessCode.begin(), accessCode.end(), payload);
    payload[kLoaderOperationOffset] = operation;
    payload[kLoaderAddressOffset] = static_cast<std::uint8_t>(address & 0xFF);
    payload[kLoaderAddressOffset + 1] = static_cast<std::uint8_t>(address >> 8);
}

RequestBytes BuildIdentifyRequest() {
    return BuildPlainRequest(CMD_IDENTIFY, {});
}

RequestBytes BuildStatusRequest() {
    return BuildPlainRequest(CMD_STATUS, {});
}

RequestBytes BuildInfoRequest(std::uint8_t step) {
    const std::array<std::uint8_t, 1> payload{step};
    return BuildPlainRequest(CMD_INFO, payload);
}

RequestBytes BuildSwitchRequest(const AccessCodeBytes& accessCode) {
    std::array<std::uint8_t, kFrameBufferSize> frame{};
    WriteLoaderHeader(frame.data(), kRequestStartByte, CMD_LOADER, kLoaderHeaderLength, accessCode,
                      BL_SWITCH, 0);
    return RequestBytes(frame.begin(), frame.begin() + kFrameHeaderSize + kLoaderHeaderLength);
}

std::uint8_t ReplyCommand(std::span<const std::uint8_t> frame) {
    if (frame.size() <= kFrameCommandIndex) {
        return 0;
    }
    return static_cast<std::uint8_t>(frame[kFrameCommandIndex] & ~kReplyFlagBit);
}

std::span<const std::uint8_t> ReplyPayload(std::span<const std::uint8_t> frame) {
    if (frame.size() < static_cast<std::size_t>(kFrameOverhead)) {
        return {};
    }
    const std::size_t carried = frame.size() - kFrameOverhead;
    return frame.subspan(kFramePayloadIndex,
                         std::min<std::size_t>(frame[kFrameLengthIndex], carried));
}

std::optional<IdentifyReply> DecodeIdentifyReply(std::span<const std::uint8_t> frame) {
    const auto payload = ReplyPayload(frame);
    if (payload.size() < kIdentifyReplyLength) {
        return std::nullopt;
    }
    constexpr std::uint16_t kYearBase = 2000;  // the instrument sends the year minus 2000
    return IdentifyReply{payload[0], static_cast<std::uint16_t>(kYearBase + payload[1]), payload[2],
                         ReadLittleEndian16(payload, 3)};
}

std::optional<bool> DecodeStatusReply(std::span<const std::uint8_t> frame) {
    const auto payload = ReplyPayload(frame);
    if (payload.empty()) {
        return std::nullopt;
    }
    return (payload[0] & kStatusBootloaderBit) != 0;
}

std::string DecodeInfoText(std::span<const std::uint8_t> frame, std::size_t maxLength) {
    const auto payload = ReplyPayload(frame);
    const auto text = payload.first(std::min(maxLength, payload.size()));
    return std::string(text.begin(), text.end());
}

std::optional<FirmwareIdentityReply> DecodeFirmwareIdentityReply(
    std::span<const std::uint8_t> frame) {
    const auto payload = ReplyPayload(frame);
    if (payload.size() < kFirmwareIdentityReplyLength) {
        return std::nullopt;
    }
    return FirmwareIdentityReply{ReadLittleEndian16(payload, 0), ReadLittleEndian16(payload, 2),
                                 ReadLittleEndian32(payload, 4)};
}

std::optional<std::uint8_t> DecodeSwitchAcknowledgement(std::span<const std::uint8_t> frame) {
    const auto payload = ReplyPayload(frame);
    if (payload.size() != kSwitchAcknowledgementLength) {
        return std::nullopt;
    }
    return payload[0];
}

std::optional<std::uint8_t> DecodeLoaderOperation(std::span<const std::uint8_t> frame) {
    const auto payload = ReplyPayload(frame);
    if (payload.empty()) {
        return std::nullopt;
    }
    return payload[0];
}

std::span<const std::uint8_t> DecodeReadBackBlock(std::span<const std::uint8_t> frame) {
    const auto payload = ReplyPayload(frame);
    if (payload.size() <= kLoaderReplyDataOffset) {
        return {};
    }
    const auto data = payload.subspan(kLoaderReplyDataOffset);
    return data.first(std::min<std::size_t>(kReadBackBlockSize, data.size()));
}

std::optional<FinalQueryReply> DecodeFinalQueryReply(std::span<const std::uint8_t> frame) {
    const auto payload = ReplyPayload(frame);
    if (payload.size() < kFinalQueryReplyLength) {
        return std::nullopt;
    }
    return FinalQueryReply{ReadLittleEndian16(payload, kLoaderReplyDataOffset),
                           ReadLittleEndian16(payload, kLoaderReplyDataOffset + 2)};
}
