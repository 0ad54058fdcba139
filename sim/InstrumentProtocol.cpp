#include "InstrumentProtocol.h"

#include "AccessCode.h"
#include "LinkFrame.h"

#include <algorithm>

namespace sim {

std::uint8_t Request::Command() const {
    return bytes[kFrameCommandIndex] & kCommandMask;
}

int Request::PayloadLength() const {
    return bytes[kFrameLengthIndex];
}

const std::uint8_t* Request::Payload() const {
    return bytes + kFramePayloadIndex;
}

std::uint16_t Request::Word(int payloadOffset) const {
    const std::uint8_t* at = Payload() + payloadOffset;
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

bool CarriesAccessCode(const Request& request) {
    if (request.Command() != kCmdLoader || request.PayloadLength() < kLoaderMinPayload) {
        return false;
    }
    const std::uint8_t* code = request.Payload() + kLoaderCodeOffset;
    return std::equal(kAccessCode.begin(), kAccessCode.end(), code);
}

std::vector<std::uint8_t> SealReply(const Reply& reply, bool markReply) {
    std::vector<std::uint8_t> frame(reply.payload.size() + kFrameOverhead);
    frame[kFrameStartIndex] = kReplyStartByte;
    frame[kFrameCommandIndex] =
        markReply ? static_cast<std::uint8_t>(reply.command | kReplyFlagBit) : reply.command;
    frame[kFrameLengthIndex] = static_cast<std::uint8_t>(reply.payload.size());
    std::copy(reply.payload.begin(), reply.payload.end(), frame.begin() + kFramePayloadIndex);
    SealFrame(frame.data());
    return frame;
}

void AppendWord(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendLong(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    AppendWord(bytes, static_cast<std::uint16_t>(value & 0xFFFF));
    AppendWord(bytes, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace sim
