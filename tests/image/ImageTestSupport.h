// Images and passes for the image tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "FirmwareImage.h"
#include "InMemoryBootloader.h"

// An image of `size` bytes with a valid header (Jun 20 2011 09:15:48,
// version 6) and varied bytes elsewhere, none of them 0xFF.
inline std::vector<std::uint8_t> MakeImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>((i * 31 + i / 256) % 255);
    }
    if (size >= 165) {
        std::memcpy(image.data() + 140, "Jun 20 2011", 12);
        std::memcpy(image.data() + 152, "09:15:48", 9);
        image[163] = 6;
        image[164] = 0;
    }
    return image;
}

struct PassOutcome {
    std::uint8_t result;
    int frames;  // frames sent, the first included
};

// Runs a pass against the bootloader: `begin` prepares the first frame, each
// reply is judged until the result is no longer IMAGE_FRAME_READY.
template <typename Begin>
PassOutcome RunPass(CFirmwareImage& image, InMemoryBootloader& bootloader, Begin begin) {
    std::uint8_t result = begin();
    int frames = 0;
    while (result == IMAGE_FRAME_READY && frames < 100000) {
        ++frames;
        result = image.OnReply(bootloader.Answer(image.GetFrame()));
    }
    return {result, frames};
}

inline PassOutcome RunWritePass(CFirmwareImage& image, InMemoryBootloader& bootloader) {
    return RunPass(image, bootloader, [&] { return image.BeginWrite(); });
}

inline PassOutcome RunVerifyPass(CFirmwareImage& image, InMemoryBootloader& bootloader) {
    return RunPass(image, bootloader, [&] { return image.BeginVerify(); });
}
