// The SHA-256 digest (FIPS 180-4) of a firmware image, for the session log
// and --version: it tells the service centre exactly which image went into
// the instrument.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// 64 lower-case hex digits.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);
