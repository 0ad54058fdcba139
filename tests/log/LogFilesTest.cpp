// The session logs on disk: the rotation that keeps the newest hundred, and
// a folder that cannot be written, which leaves the log missing and nothing
// else disturbed.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CommandSet.h"
#include "LogFiles.h"
#include "RunFacts.h"
#include "SealedFrame.h"
#include "SessionLog.h"
#include "TempDir.h"

namespace {

// The files are the matter here, not what the run decided.
const RunFacts kNothingDecided;

namespace fs = std::filesystem;
using testing::ElementsAre;
using testsupport::Sealed;

void Touch(const fs::path& path) {
    std::ofstream(path) << "x";
}

std::vector<std::string> NamesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A run that opens a port, finds the instrument and ends.
void PlayRun(SessionLog& log) {
    log.OnPortOpened("\\\\.\\COM1");
    log.OnFrameReceived(Sealed({0xFE, CMD_IDENTIFY, 5, kZiron7DeviceType, 11, 7, 0x39, 0x30}));
    log.OnLogLine("Зирон-7 найден. Скорость 9600");
    log.OnMessageBox("Нет связи с Зирон-7!");
    log.OnUpdateEnded(5, false);
    log.Finish();
}

TEST(LogFilesTest, NamesSortByStartTimeAndOnlyOursCount) {
    EXPECT_EQ(SessionLogName("20261208-230325-123", std::nullopt), "20261208-230325-123.log");
    EXPECT_EQ(SessionLogName("20261208-230325-123", 12345), "20261208-230325-123-SN12345.log");
    EXPECT_TRUE(IsSessionLogName("20261208-230325-123.log"));
    EXPECT_TRUE(IsSessionLogName("20261208-230325-123-SN0.log"));
    for (const char* foreign : {"notes.log", "20261208-230325-123.txt", "20261208-230325.log",
                                "20261208-230325-123-SN.log", "20261208x230325-123.log",
                                "20261208-230325-123-SN12a.log", ""}) {
        EXPECT_FALSE(IsSessionLogName(foreign)) << foreign;
    }
}

TEST(LogFilesTest, ANewRunKeepsTheNewestHundredAndLeavesOtherFilesAlone) {
    testsupport::TempDir dir;
    const fs::path folder = SessionLogFolder(dir.Path());
    fs::create_directories(folder);
    // 100 logs of earlier runs, every other one with a serial number.
    for (int run = 0; run < 100; ++run) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "20250101-12%04d-000", run);
        const auto serial = run % 2 ? std::optional<std::uint16_t>(run) : std::nullopt;
        Touch(folder / SessionLogName(stamp, serial));
    }
    Touch(folder / "readme.txt");

    SessionLog log(folder, {"1.0", "today"}, kNothingDecided);
    PlayRun(log);

    const std::vector<std::string> names = NamesIn(folder);
    EXPECT_EQ(names.size(), 101u) << "99 earlier logs, this run's and the foreign file";
    EXPECT_EQ(names.front(), "20250101-120001-000-SN1.log") << "the oldest went";
    EXPECT_EQ(log.FilePath().filename().string().substr(0, 2), "20");
    EXPECT_TRUE(fs::exists(folder / "readme.txt"));
    EXPECT_TRUE(fs::exists(log.FilePath()));
}

TEST(LogFilesTest, AFileOfAnotherRunIsNeverTakenOver) {
    // Two runs that start in the same millisecond choose the same name; the
    // second must not truncate or share the first one's file.
    testsupport::TempDir dir;
    const fs::path name = dir / "20261209-041000-123.log";
    LogFile first;
    ASSERT_TRUE(first.Create(name));
    first.Append("first run\n");
    LogFile second;
    EXPECT_FALSE(second.Create(name));
    second.Append("second run\n");
    EXPECT_FALSE(second.IsOpen());
    std::ifstream file(name);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "first run\n");
}

TEST(LogFilesTest, RunsStartedTogetherEachGetALogOfTheirOwn) {
    testsupport::TempDir dir;
    // More runs than fit into one millisecond, all started before any opens
    // its port.
    std::vector<std::unique_ptr<SessionLog>> logs;
    for (int run = 0; run < 20; ++run) {
        logs.push_back(
            std::make_unique<SessionLog>(dir.Path(), ProgramStamp{"1.0", "today"}, kNothingDecided));
    }
    std::set<fs::path> files;
    for (const auto& log : logs) {
        log->OnPortOpened("\\\\.\\COM1");
        files.insert(log->FilePath());
    }
    EXPECT_EQ(files.size(), logs.size());
    EXPECT_EQ(NamesIn(dir.Path()).size(), logs.size());
}

TEST(LogFilesTest, NoFileIsWrittenBeforeAPortOpens) {
    testsupport::TempDir dir;
    SessionLog log(dir.Path(), {"1.0", "today"}, kNothingDecided);
    log.OnMessageBox("Ошибка в EXE файле!");
    log.Finish();
    EXPECT_THAT(NamesIn(dir.Path()), ElementsAre());
}

TEST(LogFilesTest, AnUnwritableFolderLeavesTheLogMissing) {
    testsupport::TempDir dir;
    // A file where the folder would be: no permission bit spares even root.
    Touch(dir / "data");
    SessionLog blocked(SessionLogFolder(dir / "data"), {"1.0", "today"}, kNothingDecided);
    PlayRun(blocked);
    EXPECT_TRUE(blocked.FilePath().empty());

    SessionLog nowhere(fs::path(), {"1.0", "today"}, kNothingDecided);
    PlayRun(nowhere);
    EXPECT_TRUE(nowhere.FilePath().empty());
}

TEST(LogFilesTest, AFolderThatGoesAwayMidRunEndsTheLogQuietly) {
    testsupport::TempDir dir;
    const fs::path folder = dir / "logs";
    SessionLog log(folder, {"1.0", "today"}, kNothingDecided);
    log.OnPortOpened("\\\\.\\COM1");
    ASSERT_TRUE(fs::exists(log.FilePath()));
    fs::remove_all(folder);
    Touch(folder);  // the writes and the rename now fail, as on a full disk

    log.OnFrameReceived(Sealed({0xFE, CMD_IDENTIFY, 5, kZiron7DeviceType, 11, 7, 0x39, 0x30}));
    log.OnLogLine("Зирон-7 найден. Скорость 9600");
    log.OnUpdateEnded(1, true);
    log.Finish();
    EXPECT_TRUE(fs::is_regular_file(folder));
}

}  // namespace
