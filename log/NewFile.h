// Making a file that must not exist yet, in one step: two runs that start in
// the same millisecond (a script starting one process per port does) would
// otherwise both take the same session log name and write into one file.
// One .cpp per platform.
#pragma once

#include <filesystem>

// Creates an empty file at `path`; false when a file of that name exists
// already or the file cannot be made.
bool CreateNewFile(const std::filesystem::path& path);
