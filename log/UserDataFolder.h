// The folder in which this user's programs keep their data: on Linux
// $XDG_DATA_HOME, or ~/.local/share without it; on Windows %LOCALAPPDATA%.
// An empty path when the system names none. One .cpp per platform.
#pragma once

#include <filesystem>

std::filesystem::path UserDataFolder();
