// The instrument's bootloader over an in-memory flash, for the image tests
// and the benchmark: it answers every frame the image prepares the way the
// instrument does and records what it was asked.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "CommandSet.h"
#include "LinkFrame.h"

class InMemoryBootloader {
public:
    using Bytes = std::vector<std::uint8_t>;

    struct Request {
        std::uint8_t operation;
        std::uint16_t address;
    };

    explicit InMemoryBootloader(const AccessCodeBytes& accessCode) : m_accessCode(accessCode) {
        m_flash.fill(kErased);
    }

    // The sealed reply to one unsealed frame from the image. A frame with a
    // wrong start byte, command or access code draws an empty reply.
    Bytes Answer(std::span<const std::uint8_t> frame) {
        if (frame.size() < kFramePayloadIndex + kLoaderDataOffset || frame[0] != 0x00 ||
            frame[1] != CMD_LOADER ||
            !std::equal(m_accessCode.begin(), m_accessCode.end(),
                        frame.begin() + kFramePayloadIndex)) {
            return {};
        }
        const auto payload = frame.subspan(kFramePayloadIndex);
        const std::uint8_t operation = payload[kLoaderOperationOffset];
        const auto address = static_cast<std::uint16_t>(payload[kLoaderAddressOffset] |
                                                        payload[kLoaderAddressOffset + 1] << 8);
        const auto data = payload.subspan(kLoaderDataOffset);
        requests.push_back({operation, address});
        Bytes reply{operation, 0, 0};
        switch (operation) {
            case BL_LOAD_HALF:
                if (address + data.size() <= m_pageBuffer.size()) {
                    std::copy(data.begin(), data.end(), m_pageBuffer.begin() + address);
                }
                break;
            case BL_PROGRAM_PAGE:
                std::copy(m_pageBuffer.begin(), m_pageBuffer.end(), m_flash.begin() + address);
                break;
            case BL_FINISH:
                m_held.assign(data.begin(), data.end());
                break;
            case BL_READ_BACK:
                if (address == kFinalQueryAddress) {
                    reply.insert(reply.end(), m_held.begin(), m_held.end());
                } else {
                    reply.insert(reply.end(), m_flash.begin() + address,
                                 m_flash.begin() + address + kReadBackBlockSize);
                }
                break;
            default:
                break;
        }
        return Seal(reply);
    }

    std::span<std::uint8_t> Flash() { return m_flash; }
    std::vector<Request> requests;

private:
    static constexpr std::uint8_t kErased = 0xFF;

    static Bytes Seal(const Bytes& payload) {
        Bytes frame{0x00, CMD_LOADER | kReplyFlagBit, static_cast<std::uint8_t>(payload.size())};
        frame.insert(frame.end(), payload.begin(), payload.end());
        frame.resize(frame.size() + kFrameCrcSize);
        SealFrame(frame.data());
        return frame;
    }

    AccessCodeBytes m_accessCode;
    std::array<std::uint8_t, 0x10000 + kReadBackBlockSize> m_flash{};
    std::array<std::uint8_t, kFlashPageSize> m_pageBuffer{};
    Bytes m_held;  // checksum and end value from the finish frame
};
