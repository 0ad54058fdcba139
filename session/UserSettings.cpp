#include "UserSettings.h"

#include <charconv>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "AtomicFile.h"

namespace {

constexpr std::string_view kLastPortKey = "last_port=";
constexpr std::string_view kPortPrefix = "COM";
constexpr int kFirstPort = 1;
constexpr int kLastPort = 255;
// A settings file is a few lines; anything longer is not ours and is read
// as nothing remembered rather than loaded whole.
constexpr std::uintmax_t kLongestFileBytes = 64 * 1024;

UserSettings* g_installed = nullptr;

// The file's lines; none when it is missing, unreadable or too long.
std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    const std::optional<std::string> content = ReadSmallFile(file, kLongestFileBytes);
    std::vector<std::string> lines;
    if (!content) {
        return lines;
    }
    std::istringstream stream(*content);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// n of "COMn" when it names a port of the list, else nothing.
std::optional<int> ParsePort(std::string_view text) {
    if (!text.starts_with(kPortPrefix)) {
        return std::nullopt;
    }
    text.remove_prefix(kPortPrefix.size());
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{} || end != text.data() + text.size() || number < kFirstPort ||
        number > kLastPort) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

UserSettings::UserSettings(std::filesystem::path file) : m_file(std::move(file)) {}

std::optional<int> UserSettings::LastPort() const {
    std::optional<int> port;
    for (const std::string& line : ReadLines(m_file)) {
        if (line.starts_with(kLastPortKey)) {
            port = ParsePort(std::string_view(line).substr(kLastPortKey.size()));
        }
    }
    return port;
}

bool UserSettings::RememberPort(int number) {
    if (m_file.empty() || number < kFirstPort || number > kLastPort) {
        return false;
    }
    std::ostringstream text;
    for (const std::string& line : ReadLines(m_file)) {
        if (!line.starts_with(kLastPortKey)) {
            text << line << '\n';
        }
    }
    text << kLastPortKey << kPortPrefix << number << '\n';
    std::error_code error;
    std::filesystem::create_directories(m_file.parent_path(), error);
    return !error && WriteFileAtomically(m_file, text.str());
}

std::filesystem::path UserSettingsFile(const std::filesystem::path& configFolder) {
    if (configFolder.empty()) {
        return {};
    }
    return configFolder / "ziron7" / "settings.ini";
}

UserSettings* InstalledUserSettings() {
    return g_installed;
}

UserSettingsScope::UserSettingsScope(UserSettings& settings) : m_previous(g_installed) {
    g_installed = &settings;
}

UserSettingsScope::~UserSettingsScope() {
    g_installed = m_previous;
}
