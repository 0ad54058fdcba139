// Arbitrary reply frames for the firmware image in every transfer state:
// records in the input start passes, answer the prepared frame correctly
// (to move through the states) or hand over arbitrary frames. The prepared
// frame must always be one of the bootloader layouts and the results codes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "CommandSet.h"
#include "FirmwareImage.h"
#include "LinkFrame.h"
#include "MessageBox.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<std::uint8_t> MakeImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    std::memcpy(image.data() + 140, "Jun 20 2011", 12);
    std::memcpy(image.data() + 152, "09:15:48", 9);
    return image;
}

// The reply a bootloader gives to `frame`: the operation echoed, and for a
// read-back 128 bytes or the checksum and end value.
std::vector<std::uint8_t> AnswerOf(std::span<const std::uint8_t> frame, std::uint8_t fill) {
    constexpr std::size_t kOperationIndex = kFramePayloadIndex + kLoaderOperationOffset;
    const std::uint8_t operation = frame.size() > kOperationIndex ? frame[kOperationIndex] : 0;
    std::vector<std::uint8_t> reply{0x00, CMD_LOADER, 3, operation, 0, 0};
    if (operation == BL_READ_BACK) {
        reply.insert(reply.end(), kReadBackBlockSize, fill);
        reply[kFrameLengthIndex] = static_cast<std::uint8_t>(reply.size() - kFrameHeaderSize);
    }
    reply.resize(reply.size() + kFrameCrcSize);
    SealFrame(reply.data());
    return reply;
}

void CheckPreparedFrame(const CFirmwareImage& image) {
    const auto frame = image.GetFrame();
    Require(frame.size() == static_cast<std::size_t>(kFrameHeaderSize) + frame[kFrameLengthIndex]);
    const std::uint8_t length = frame[kFrameLengthIndex];
    Require(length == 9 || length == 13 || length == 137);
    Require(frame[kFrameStartIndex] == 0x00 && frame[kFrameCommandIndex] == CMD_LOADER);
    Require(image.GetPosition() <= image.GetEndValue() + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MessageBoxOperator operatorStandIn;  // loading never shows anything here
    if (size < 2) {
        return 0;
    }
    const std::vector<std::uint8_t> bytes = MakeImage(165 + data[0] * 13 + data[1]);
    CFirmwareImage image(0x3CC30FF0, 0x5AA5, CMD_LOADER);
    Require(image.LoadFromBytes(bytes));

    bool started = false;  // a pass has prepared its first frame
    std::size_t at = 2;
    while (at < size) {
        const std::uint8_t control = data[at++];
        std::uint8_t result = 0;
        switch (control & 3) {
            case 0:
                result = image.BeginWrite();
                started = true;
                break;
            case 1:
                result = image.BeginVerify();
                started = true;
                break;
            case 2: {
                // Any frame, as long or short as the input makes it.
                const std::size_t length = std::min<std::size_t>(control >> 2, size - at);
                result = image.OnReply(std::span(data + at, length));
                at += length;
                break;
            }
            default:
                // Right answers move the pass along (repeated, to reach late states).
                for (int i = 0; i <= (control >> 2) && result == 0; ++i) {
                    result = image.OnReply(AnswerOf(image.GetFrame(), control));
                }
                break;
        }
        Require(result <= IMAGE_VERIFY_FAILED || result == IMAGE_OUT_OF_PLACE);
        if (started) {
            CheckPreparedFrame(image);
        }
    }
    return 0;
}
