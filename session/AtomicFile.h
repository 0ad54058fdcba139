// Replacing a small file so that a reader sees either the old content or
// the new, never a part: the new content goes into a fresh file of a name
// no other process uses, next to the target, which is then renamed over it.
// Two programs that write at once each leave a whole file; the later rename
// wins. One .cpp per platform.
#pragma once

#include <filesystem>
#include <string_view>

// Makes `target` hold `content`; false (with `target` as it was and no
// scratch file left behind) when the folder cannot be written.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view content);
