// Where this platform's device namespace keeps its named COM ports: an entry
// comN (lower case, normally a symlink to a tty) in this folder is COMn. The
// folder is named by the environment variable ZIRON7_DEVICE_DIR, by default
// ~/.local/share/ziron7/devices. The simulated instrument enters itself here.
#pragma once

#include <filesystem>

std::filesystem::path CommDeviceDirectory();
