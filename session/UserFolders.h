// The folders in which this user's programs keep their files. One .cpp per
// platform. Each is an empty path when the system names none.
#pragma once

#include <filesystem>

// Data: on Linux $XDG_DATA_HOME, or ~/.local/share without it; on Windows
// %LOCALAPPDATA%.
std::filesystem::path UserDataFolder();

// Settings: on Linux $XDG_CONFIG_HOME, or ~/.config without it; on Windows
// %LOCALAPPDATA% as well, not the roaming folder, because what is kept there
// (the port the instrument hangs on) belongs to this PC, not to the user.
std::filesystem::path UserConfigFolder();
