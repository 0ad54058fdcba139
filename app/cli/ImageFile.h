// A firmware image from a file, checked before any byte goes to the
// instrument: a file that fails is named with the check it failed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The first check `image` fails, as a line for the user; nothing when the
// image is one the program can write and verify: its size within what the
// image format allows (the header fits, and addresses travel as 16 bits)
// and below the checksum query's address, and its build date and time texts
// parse.
std::optional<std::string> CheckImage(std::span<const std::uint8_t> image);

struct ImageFile {
    std::vector<std::uint8_t> bytes;
    std::string sha256Hex;
    std::string error;  // why the file cannot be used; empty when it can
};

// Reads and checks the file at `path` (UTF-8).
ImageFile ReadImageFile(const std::string& path);
