// The session logs on disk: their folder, their names and the rotation that
// keeps only the newest. Nothing here throws or reports: a log that cannot
// be written must never disturb the update, so a failing file operation
// simply leaves the log missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// How many session logs the folder keeps, the one being started included.
inline constexpr std::size_t kKeptSessionLogs = 100;

// <dataFolder>/ziron7/logs; empty when `dataFolder` is empty.
std::filesystem::path SessionLogFolder(const std::filesystem::path& dataFolder);

// The file name of a run that started at `startStamp` ("20261208-230325-123",
// local time to the millisecond), with the instrument's serial number once
// it is known: "20261208-230325-123.log", "20261208-230325-123-SN12345.log".
// Names sort in the order the runs started.
std::string SessionLogName(std::string_view startStamp, std::optional<std::uint16_t> serialNumber);

// True for names that SessionLogName makes; other files in the folder are
// never touched.
bool IsSessionLogName(std::string_view name);

// Removes the oldest session logs in `folder` until at most `keep` remain.
void RemoveOldestSessionLogs(const std::filesystem::path& folder, std::size_t keep);

// One log file, written by appending. Holds no open handle between writes,
// so it can be renamed at any time (Windows renames no open file).
class LogFile {
public:
    // Creates the folder and a new empty file at `path`; false when that
    // fails or a file of that name exists (another run's, which is left as
    // it is), and every later call then does nothing.
    bool Create(const std::filesystem::path& path);
    // Appends `text` as it is (UTF-8); a failed write is dropped.
    void Append(std::string_view text);
    // Gives the file the name `name` in its folder; keeps the old one on failure.
    void Rename(const std::string& name);
    bool IsOpen() const { return !m_path.empty(); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;  // empty until created
};
