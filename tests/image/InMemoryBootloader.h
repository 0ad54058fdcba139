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
        std::span<const std::uint8_t> readBack;  // what a read-back returns
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
                readBack = address == kFinalQueryAddress
                               ? std::span<const std::uint8_t>(m_held)
                               : std::span<const std::uint8_t>(m_flash).subspan(address,
                                                                                kReadBackBlockSize);
                break;
            default:
                break;
        }
        return Seal(operation, address, readBack);
    }

    std::span<std::uint8_t> Flash() { return m_flash; }
    std::vector<Request> requests;

private:
    static constexpr std::uint8_t kErased = 0xFF;

    // The reply frame: the operation and its address echoed, then `data`.
    static Bytes Seal(std::uint8_t operation, std::uint16_t address,
                      std::span<const std::uint8_t> data) {
        constexpr std::size_t kDataIndex = kFramePayloadIndex + 3;
        Bytes frame(kDataIndex + data.size() + kFrameCrcSize);
        frame[kFrameStartIndex] = 0x00;
        frame[kFrameCommandIndex] = CMD_LOADER | kReplyFlagBit;
        frame[kFrameLengthIndex] = static_cast<std::uint8_t>(3 + data.size());
        frame[kFramePayloadIndex] = operation;
        frame[kFramePayloadIndex + 1] = static_cast<std::uint8_t>(address & 0xFF);
        frame[kFramePayloadIndex + 2] = static_cast<std::uint8_t>(address >> 8);
        std::copy(data.begin(), data.end(), frame.begin() + kDataIndex);
        SealFrame(frame.data());
        return frame;
    }

    AccessCodeBytes m_accessCode;
    std::array<std::uint8_t, 0x10000 + kReadBackBlockSize> m_flash{};
    std::array<std::uint8_t, kFlashPageSize> m_pageBuffer{};
    Bytes m_held;  // checksum and end value from the finish frame
};
