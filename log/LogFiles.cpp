#include "LogFiles.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>
#include <vector>

#include "NewFile.h"

namespace {

constexpr std::string_view kExtension = ".log";
constexpr std::string_view kSerialTag = "-SN";
// "20261208-230325-123": digits, with dashes at these places.
constexpr std::size_t kStampLength = 19;
constexpr std::size_t kStampDashes[] = {8, 15};

bool IsDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

bool IsStamp(std::string_view text) {
    if (text.size() != kStampLength) {
        return false;
    }
    std::size_t from = 0;
    for (const std::size_t dash : kStampDashes) {
        if (text[dash] != '-' || !IsDigits(text.substr(from, dash - from))) {
            return false;
        }
        from = dash + 1;
    }
    return IsDigits(text.substr(from));
}

}  // namespace

std::filesystem::path SessionLogFolder(const std::filesystem::path& dataFolder) {
    if (dataFolder.empty()) {
        return {};
    }
    return dataFolder / "ziron7" / "logs";
}

std::string SessionLogName(std::string_view startStamp, std::optional<std::uint16_t> serialNumber) {
    std::string name(startStamp);
    if (serialNumber) {
        name += std::string(kSerialTag) + std::to_string(*serialNumber);
    }
    return name + std::string(kExtension);
}

bool IsSessionLogName(std::string_view name) {
    if (!name.ends_with(kExtension) ||
        !IsStamp(name.substr(0, std::min(name.size(), kStampLength)))) {
        return false;
    }
    const std::string_view rest =
        name.substr(kStampLength, name.size() - kStampLength - kExtension.size());
    return rest.empty() ||
           (rest.starts_with(kSerialTag) && IsDigits(rest.substr(kSerialTag.size())));
}

void RemoveOldestSessionLogs(const std::filesystem::path& folder, std::size_t keep) {
    std::error_code error;
    std::vector<std::filesystem::path> logs;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        // UTF-8 converts every name the system can hold, also on Windows.
        const std::u8string name = entry->path().filename().u8string();
        if (IsSessionLogName({reinterpret_cast<const char*>(name.data()), name.size()})) {
            logs.push_back(entry->path());
        }
    }
    if (logs.size() <= keep) {
        return;
    }
    std::sort(logs.begin(), logs.end(),
              [](const auto& a, const auto& b) { return a.filename() < b.filename(); });
    for (std::size_t i = 0; i < logs.size() - keep; ++i) {
        std::filesystem::remove(logs[i], error);
    }
}

bool LogFile::Create(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error || !CreateNewFile(path)) {
        return false;
    }
    m_path = path;
    return true;
}

void LogFile::Append(std::string_view text) {
    if (!IsOpen()) {
        return;
    }
    std::ofstream file(m_path, std::ios::binary | std::ios::app);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void LogFile::Rename(const std::string& name) {
    if (!IsOpen()) {
        return;
    }
    const std::filesystem::path renamed = m_path.parent_path() / name;
    std::error_code error;
    std::filesystem::rename(m_path, renamed, error);
    if (!error) {
        m_path = renamed;
    }
}
