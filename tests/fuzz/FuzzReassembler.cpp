// Arbitrary byte streams in arbitrary chunks through the frame reassembler,
// with receive gaps, flushes and handlers that drive it again from inside.
// Every frame handed over must be whole and pass its check; the receiver
// must never hold a full buffer between calls.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <span>

#include "FrameReassembler.h"
#include "LinkFrame.h"

namespace {

struct Stream {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    std::uint8_t Next() { return at < size ? data[at++] : 0; }
    bool Done() const { return at >= size; }
};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Stream input{data, size};
    std::deque<std::uint8_t> port;
    FrameReassembler receiver;
    int nesting = 0;

    const FrameReassembler::PortRead read = [&](std::span<std::uint8_t> into) {
        std::size_t count = 0;
        while (count < into.size() && !port.empty()) {
            into[count++] = port.front();
            port.pop_front();
        }
        return count;
    };
    FrameReassembler::FrameHandler onFrame;
    onFrame = [&](std::span<const std::uint8_t> frame) {
        Require(frame.size() >= static_cast<std::size_t>(kFrameOverhead));
        Require(frame.size() <= static_cast<std::size_t>(kMaxFrameLength));
        Require(frame.size() ==
                static_cast<std::size_t>(frame[kFrameLengthIndex]) + kFrameOverhead);
        Require(CheckFrame(frame.data(), static_cast<int>(frame.size())));
        // A handler that opens a message box lets the next port event in.
        if (nesting < 2 && (frame[kFrameCommandIndex] & 1) != 0) {
            ++nesting;
            receiver.Receive(read, onFrame);
            --nesting;
        }
    };

    while (!input.Done()) {
        const std::uint8_t control = input.Next();
        const std::size_t chunk = static_cast<std::size_t>(control & 0x3F) * 5 + 1;
        for (std::size_t i = 0; i < chunk && !input.Done(); ++i) {
            port.push_back(input.Next());
        }
        switch (control >> 6) {
            case 0:
            case 1:
                receiver.Receive(read, onFrame);
                break;
            case 2:
                receiver.OnReceiveGap(read, onFrame);
                break;
            default:
                if ((control & 1) != 0) {
                    receiver.FlushInput(read);
                } else {
                    receiver.Receive(read, onFrame);
                }
                break;
        }
        Require(receiver.HeldCount() < static_cast<std::size_t>(kMaxFrameLength));
    }
    return 0;
}
