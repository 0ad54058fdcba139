// The user's settings file: the port remembered and read back, files that
// are garbled or cannot be read, folders that cannot be written, writers at
// once. Built for Linux and for Windows.
#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "UserSettings.h"

namespace fs = std::filesystem;

namespace {

using testsupport::TempDir;

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::string ReadText(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(UserSettings, RemembersThePortInAFolderItMakesAndReadsItBack) {
    TempDir scratch;
    const fs::path file = UserSettingsFile(fs::path(scratch.Path()) / "config");
    UserSettings settings(file);
    EXPECT_EQ(settings.LastPort(), std::nullopt);  // no file yet
    ASSERT_TRUE(settings.RememberPort(7));
    EXPECT_EQ(ReadText(file), "last_port=COM7\n");
    EXPECT_TRUE(settings.RememberPort(255));
    EXPECT_EQ(UserSettings(file).LastPort(), 255);
    EXPECT_FALSE(settings.RememberPort(0));
    EXPECT_FALSE(settings.RememberPort(256));
    EXPECT_EQ(settings.LastPort(), 255);
}

TEST(UserSettings, KeysItDoesNotKnowAreKeptAndTheLastPortLineWins) {
    TempDir scratch;
    const fs::path file = scratch / "settings.ini";
    WriteText(file, "window=12,40\r\nlast_port=COM2\nlast_port=COM4\r\n");
    UserSettings settings(file);
    EXPECT_EQ(settings.LastPort(), 4);
    ASSERT_TRUE(settings.RememberPort(9));
    EXPECT_EQ(ReadText(file), "window=12,40\nlast_port=COM9\n");
}

TEST(UserSettings, AGarbledFileReadsAsNothingRememberedAndIsMendedByTheNextWrite) {
    TempDir scratch;
    const fs::path file = scratch / "settings.ini";
    for (const std::string& text : std::vector<std::string>{
             "last_port=COM0\n", "last_port=COM256\n", "last_port=COM3x\n", "last_port=3\n",
          "last_port=COM\n", "last_port=COM-1\n", "last_port=COM99999999999999999999\n",
          "last_port= COM3\n", "LAST_PORT=COM3\n", std::string("\xFF\xFE\0l\0a", 6),
          "last_port=COM3\nlast_port=garbage\n"}) {
        WriteText(file, text);
        EXPECT_EQ(UserSettings(file).LastPort(), std::nullopt) << text;
    }
    ASSERT_TRUE(UserSettings(file).RememberPort(5));
    EXPECT_EQ(UserSettings(file).LastPort(), 5);
}

TEST(UserSettings, AFileThatCannotBeReadOrIsFarTooLongIsNothingRemembered) {
    TempDir scratch;
    // A folder where the file should be: it can be neither read nor replaced.
    const fs::path folder = scratch / "settings.ini";
    fs::create_directory(folder);
    UserSettings inFolder(folder);
    EXPECT_EQ(inFolder.LastPort(), std::nullopt);
    EXPECT_FALSE(inFolder.RememberPort(3));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_THAT(FolderEntries(scratch.Path()), testing::ElementsAre("settings.ini"));

    const fs::path huge = scratch / "huge.ini";
    WriteText(huge, "last_port=COM3\n" + std::string(100 * 1024, '#'));
    EXPECT_EQ(UserSettings(huge).LastPort(), std::nullopt);
}

TEST(UserSettings, AFolderThatCannotBeMadeFailsTheWriteQuietly) {
    TempDir scratch;
    WriteText(scratch / "plain", "a file, not a folder");
    UserSettings settings(fs::path(scratch / "plain") / "ziron7" / "settings.ini");
    EXPECT_FALSE(settings.RememberPort(3));
    EXPECT_EQ(settings.LastPort(), std::nullopt);
    EXPECT_FALSE(UserSettings(fs::path()).RememberPort(3));
}

// Two copies of the program remembering ports while others start, one a
// millisecond: each reader sees one whole file, never an empty or
// half-written one, every write lands, and no scratch file stays behind.
TEST(UserSettings, WritersAtOnceLeaveAWholeFileForEveryReader) {
    TempDir scratch;
    const fs::path file = scratch / "settings.ini";
    ASSERT_TRUE(UserSettings(file).RememberPort(1));
    constexpr int kWrites = 300;
    std::atomic<bool> writing{true};
    std::atomic<int> failedWrites{0};
    auto writer = [&](int first) {
        UserSettings settings(file);
        for (int k = 0; k < kWrites; ++k) {
            if (!settings.RememberPort(first + k % 100)) {
                ++failedWrites;
            }
        }
    };
    int unreadable = 0;
    std::thread low(writer, 1);
    std::thread high(writer, 101);
    std::thread done([&] {
        low.join();
        high.join();
        writing = false;
    });
    UserSettings reader(file);
    while (writing) {
        if (!reader.LastPort()) {
            ++unreadable;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done.join();
    EXPECT_EQ(unreadable, 0);
    EXPECT_EQ(failedWrites, 0);
    EXPECT_THAT(FolderEntries(scratch.Path()), testing::ElementsAre("settings.ini"));
}

TEST(UserSettings, NoneAreInstalledUnlessAScopeInstallsThem) {
    EXPECT_EQ(InstalledUserSettings(), nullptr);
    UserSettings outer("/nonexistent/outer.ini");
    UserSettings inner("/nonexistent/inner.ini");
    {
        const UserSettingsScope first(outer);
        {
            const UserSettingsScope second(inner);
            EXPECT_EQ(InstalledUserSettings(), &inner);
        }
        EXPECT_EQ(InstalledUserSettings(), &outer);
    }
    EXPECT_EQ(InstalledUserSettings(), nullptr);
}

}  // namespace
