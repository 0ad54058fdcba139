// Where the user's settings live on Linux: the base directories'
// settings folder, else ~/.config.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "UserFolders.h"
#include "UserSettings.h"

namespace {

// Sets an environment variable for the scope, restoring it afterwards.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvironmentValue() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(UserSettings, LiveInTheConfigFolderOfTheBaseDirectoriesElseUnderHome) {
    const EnvironmentValue home("HOME", "/home/lab");
    {
        const EnvironmentValue config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(UserSettingsFile(UserConfigFolder()), "/srv/config/ziron7/settings.ini");
    }
    {
        const EnvironmentValue config("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(UserSettingsFile(UserConfigFolder()), "/home/lab/.config/ziron7/settings.ini");
    }
    const EnvironmentValue config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(UserConfigFolder(), "/home/lab/.config");
    const EnvironmentValue noHome("HOME", nullptr);
    EXPECT_EQ(UserSettingsFile(UserConfigFolder()), std::filesystem::path());
}

}  // namespace
