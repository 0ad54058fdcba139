#include <cstdlib>

#include "UserFolders.h"

namespace {

// A value that is unset, empty or relative counts as unset.
const char* AbsolutePathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : nullptr;
}

// The folder the base-directory variable `variable` names, else
// `underHome` in the home folder.
std::filesystem::path BaseFolder(const char* variable, const char* underHome) {
    if (const char* folder = AbsolutePathFromEnvironment(variable)) {
        return folder;
    }
    if (const char* home = AbsolutePathFromEnvironment("HOME")) {
        return std::filesystem::path(home) / underHome;
    }
    return {};
}

}  // namespace

std::filesystem::path UserDataFolder() {
    return BaseFolder("XDG_DATA_HOME", ".local/share");
}

std::filesystem::path UserConfigFolder() {
    return BaseFolder("XDG_CONFIG_HOME", ".config");
}
