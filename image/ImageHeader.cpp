#include "ImageHeader.h"

#include <cstring>

std::string_view ImageHeaderText(std::span<const std::uint8_t> image, std::size_t offset) {
    const char* text = reinterpret_cast<const char*>(image.data() + offset);
    return {text, strnlen(text, image.size() - offset)};
}

std::uint16_t ImageVersion(std::span<const std::uint8_t> image) {
    return static_cast<std::uint16_t>(image[kImageVersionOffset] |
                                      (image[kImageVersionOffset + 1] << 8));
}
