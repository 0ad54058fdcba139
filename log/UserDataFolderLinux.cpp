#include <cstdlib>

#include "UserDataFolder.h"

namespace {

// A value that is unset, empty or relative counts as unset.
const char* AbsolutePathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : nullptr;
}

}  // namespace

std::filesystem::path UserDataFolder() {
    if (const char* dataHome = AbsolutePathFromEnvironment("XDG_DATA_HOME")) {
        return dataHome;
    }
    if (const char* home = AbsolutePathFromEnvironment("HOME")) {
        return std::filesystem::path(home) / ".local" / "share";
    }
    return {};
}
