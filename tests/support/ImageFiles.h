// Firmware images made up for a test, and files read and written whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A firmware image of `size` bytes with the header fields filled in: date and
// time texts at 140 and 152, version at 163, other bytes from `seed`.
Bytes MakeImage(std::size_t size, const char* date, const char* time, std::uint16_t version,
                unsigned seed);
void WriteFile(const std::string& path, const Bytes& bytes);
// The whole file; empty when there is none.
Bytes ReadFile(const std::string& path);

}  // namespace testsupport
