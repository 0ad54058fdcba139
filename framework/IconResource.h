// An icon resource as data: one image per size, 16 colours, with transparent
// pixels where the icon shows what lies behind it.
#pragma once

#include <cstdint>
#include <span>

#include "winapi_types.h"

struct IconImage {
    int size = 0;  // width and height in pixels
    // One text row per pixel row, top first, one character per pixel: '0'..'9'
    // and 'A'..'F' index `palette`, '.' is transparent.
    std::span<const char* const> rows;
    std::span<const std::uint32_t, 16> palette;  // 0xRRGGBB
};

// The image of icon resource `iconId` at `size` pixels (32 or 16), or null
// when there is none. Static data of the program (res/); stays valid.
const IconImage* FindIconImage(UINT iconId, int size);
