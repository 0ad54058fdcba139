// Reading and replacing a small file so that a reader sees either the old
// content or the new, never a part: the new content goes into a fresh file
// of a name no other process uses, next to the target, which is then
// renamed over it. Two programs that write at once each leave a whole file;
// the later rename wins. One .cpp per platform.
//
// On Windows a file cannot be renamed over while another program has it
// open without delete sharing, and for a moment during a rename over it the
// name cannot be opened at all: readers here share delete, and both sides
// try again a bounded number of times (kFileRetries, kFileRetryPauseMs).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

inline constexpr int kFileRetries = 20;
inline constexpr std::uint32_t kFileRetryPauseMs = 5;

// The whole content of `file`; nothing when it is missing, cannot be read
// or holds more than `limitBytes`.
std::optional<std::string> ReadSmallFile(const std::filesystem::path& file,
                                         std::uintmax_t limitBytes);

// Makes `target` hold `content`; false (with `target` as it was and no
// scratch file left behind) when the folder cannot be written.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view content);
