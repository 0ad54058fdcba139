// What the program remembers for this user from one run to the next: the
// port on which the instrument was last found. A small text file of
// "key=value" lines; keys this version does not know are kept as they are.
//
// Settings are a convenience: a file that is missing, unreadable or garbled
// reads as "nothing remembered", and a write that fails changes nothing, so
// neither can disturb an update. Writes replace the file atomically, so two
// copies of the program never leave a file that is half of each.
//
// Like the session log, the settings are installed by `main` alone: dialogs
// run by tests, and the console program (several processes at once, each
// naming its port), read and write nothing.
#pragma once

#include <filesystem>
#include <optional>

class UserSettings {
public:
    // The settings kept in `file`; nothing is read or made until asked.
    explicit UserSettings(std::filesystem::path file);

    // n of the COMn (1 to 255) where the instrument was last found.
    std::optional<int> LastPort() const;
    // Remembers COMn; false when the file cannot be written.
    bool RememberPort(int number);

private:
    std::filesystem::path m_file;
};

// <configFolder>/ziron7/settings.ini; empty when `configFolder` is empty.
std::filesystem::path UserSettingsFile(const std::filesystem::path& configFolder);

// The settings installed now, or none.
UserSettings* InstalledUserSettings();

// Installs `settings` (not owned; they must outlive the scope) for the
// lifetime of this object; the end of the scope reinstates what was before.
class UserSettingsScope {
public:
    explicit UserSettingsScope(UserSettings& settings);
    ~UserSettingsScope();
    UserSettingsScope(const UserSettingsScope&) = delete;
    UserSettingsScope& operator=(const UserSettingsScope&) = delete;

private:
    UserSettings* m_previous;
};
