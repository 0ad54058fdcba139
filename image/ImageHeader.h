// The identity fields of a firmware image's header: where they lie and how
// they read. Nothing here owns the image; every function reads the bytes
// handed in.
//
// Build date text at offset 140, build time text at 152 (both
// NUL-terminated), version (16-bit little-endian) at 163.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// Header fields, as image offsets, and the sizes an image may have: the
// header must fit, and addresses and E travel as 16 bits.
inline constexpr std::size_t kImageBuildDateOffset = 140;
inline constexpr std::size_t kImageBuildTimeOffset = 152;
inline constexpr std::size_t kImageVersionOffset = 163;
inline constexpr std::size_t kMinImageSize = kImageVersionOffset + 2;
inline constexpr std::size_t kMaxImageSize = 0xFFFF;

// A NUL-terminated header text at `offset`; one without a terminator ends
// with the image. `offset` must lie inside the image.
std::string_view ImageHeaderText(std::span<const std::uint8_t> image, std::size_t offset);

// The firmware version at kImageVersionOffset; the image must hold at least
// kMinImageSize bytes.
std::uint16_t ImageVersion(std::span<const std::uint8_t> image);
