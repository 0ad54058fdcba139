// Long runs of the update against the simulated instrument, outside the unit
// tests (scripts/soak-update.sh and scripts/measure-update.sh run them):
//
//   update_runner soak RUNS SEED [BYTES]
//                                  RUNS updates of a small image (BYTES long,
//                                  2048 by default), each against a fresh
//                                  simulator at a random main rate with random
//                                  line faults, a random bootloader echo, 0-9
//                                  switches into the bootloader lost, and now
//                                  and then an information step that never
//                                  gets a valid answer; every run has a hard
//                                  time bound. Prints one line per run, the
//                                  count of each outcome and of each bad one
//   update_runner measure [--fast] [SIM OPTION]...
//                                  one update of the embedded image at 38400
//                                  baud with wire-time pacing (and the given
//                                  simulator faults), at the default pace or
//                                  the fast one, from OK in the port dialog
//                                  to the outcome box: wall and CPU time, and
//                                  the requests repeated
//   update_runner measure-log [PAIRS]
//                                  the same update PAIRS times (1 by default)
//                                  without and then with the session log
//                                  listening, as the program has it: wall
//                                  and CPU time of each
//
// Exit status 0 when every run ended in one of the update's own outcomes and
// none was bad: a hang, a success without the image in the flash, a failure
// with it, or an instrument left in its bootloader although the run went
// on to the switch back with the link alive.
#include <sys/resource.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>

#include "AccessCode.h"
#include "DialogIds.h"
#include "ImageFiles.h"
#include "PortDlg.h"
#include "RunningDialog.h"
#include "SearchBaudRates.h"
#include "RunFacts.h"
#include "SessionEventsFanOut.h"
#include "SessionLog.h"
#include "SimProcess.h"
#include "SimTranscript.h"
#include "UpdateHarness.h"
#include "UpdateMessages.h"

namespace {

using namespace updatetest;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSoakImageSize = 2048;  // whole pages: one more page of 0xFF is written
// A run still going after this hangs: runs of the small image take 26 s at
// the most on the soak's faults, and a run stuck without a bound would go on
// for ever.
constexpr int kRunLimitMs = 120'000;
constexpr int kPortDialogPollMs = 5;
constexpr std::int32_t kMeasureBaud = 38400;

const char* const kSucceeded = "Обновление микропрограммы прошло УСПЕШНО";

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool FlashHolds(const Bytes& flash, const Bytes& image) {
    const std::size_t end = image.size() | 0xFF;
    if (flash.size() <= end || !std::equal(image.begin(), image.end(), flash.begin())) {
        return false;
    }
    return std::all_of(flash.begin() + static_cast<long>(image.size()),
                       flash.begin() + static_cast<long>(end) + 1,
                       [](std::uint8_t byte) { return byte == 0xFF; });
}

// The outcome a run ended in, by its box and end code; empty when the pair
// is none of the update's own.
std::string Classify(const UpdateOutcome& outcome) {
    if (outcome.boxes.empty()) {
        return "";
    }
    const std::string& text = outcome.boxes.front().text;
    const int result = outcome.result;
    struct Known {
        std::string prefix;
        std::vector<int> results;
        const char* name;
    };
    const std::vector<Known> known = {
        {kSucceeded, {IDOK}, "success"},
        {"Обновление прошло НЕУСПЕШНО", {IDOK}, "verification failed five times"},
        {"Нет связи с Зирон-7!", {IDOK, kUpdateLinkLost}, "no link"},
        {kCannotEnterLoaderText, {IDCANCEL}, "cannot enter the bootloader"},
        {kCannotLeaveLoaderText, {IDOK, kUpdateLinkLost}, "cannot leave the bootloader"},
        {"Ошибка в EXE файле!", {IDOK}, "reply out of place"},
        {"Неверна сигнатура блока", {IDOK}, "wrong signature"},
        {"На линии связи не Зирон-7", {IDCANCEL}, "not a Зирон-7"},
    };
    for (const Known& k : known) {
        if (text.rfind(k.prefix, 0) == 0 &&
            std::find(k.results.begin(), k.results.end(), result) != k.results.end()) {
            return k.name;
        }
    }
    return "";
}

// True when the instrument last ran its bootloader, by the program that
// handled the last frame it received (the keep-alive goes on to the end).
bool LeftInBootloader(const std::string& transcriptPath) {
    const std::vector<std::string> received = testsupport::ReceivedLines(transcriptPath);
    return !received.empty() &&
           received.back().find("\"program\":\"bootloader\"") != std::string::npos;
}

// Requests sent again right after themselves (identify requests aside: the
// keep-alive repeats by design), from the simulator's transcript.
int RepeatedRequests(const std::string& transcriptPath) {
    int repeated = 0;
    Bytes before;
    for (const std::string& line : testsupport::ReceivedLines(transcriptPath)) {
        if (line.find("\"meaning\":\"identify") != std::string::npos) {
            continue;
        }
        Bytes frame = testsupport::FrameOf(line);
        repeated += frame == before ? 1 : 0;
        before = std::move(frame);
    }
    return repeated;
}

// The outcomes that must never happen, counted over a soak.
struct BadOutcomes {
    int hang = 0;
    int unexpected = 0;        // an end the updater does not have
    int falseSuccess = 0;      // success while the flash differs from the image
    int falseFailure = 0;      // any other end while the flash equals the image
    int leftInBootloader = 0;  // went on to the switch back, yet left in its bootloader

    int Total() const { return hang + unexpected + falseSuccess + falseFailure + leftInBootloader; }
};

// What the instrument made of the last requests it received, from the
// simulator's transcript: the story behind an outcome other than success.
void PrintLastFramesReceived(const std::string& transcriptPath) {
    constexpr std::size_t kShown = 8;
    const std::vector<std::string> received = testsupport::ReceivedLines(transcriptPath);
    const std::size_t first = received.size() > kShown ? received.size() - kShown : 0;
    for (std::size_t i = first; i < received.size(); ++i) {
        std::printf("        %s\n", received[i].c_str());
    }
}

// Ends a dialog that runs too long, so that a hang is counted, not waited for.
struct HangGuard {
    bool fired = false;
    QTimer timer;
    explicit HangGuard(CDialog& dialog) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [this, &dialog] {
            fired = true;
            dialog.EndDialog(-2);
        });
        timer.start(kRunLimitMs);
    }
};

int Soak(int runs, unsigned seed, std::size_t imageSize) {
    std::mt19937 dice(seed);
    std::uniform_real_distribution<double> flip(0, 1e-3);
    std::uniform_real_distribution<double> drop(0, 1e-3);
    std::uniform_real_distribution<double> duplicate(0, 0.05);
    std::uniform_int_distribution<int> delay(0, 40);
    std::uniform_int_distribution<std::size_t> rate(0, SearchBaudRates.size() - 1);
    std::bernoulli_distribution half(0.5);
    std::bernoulli_distribution sometimes(0.25);
    std::uniform_int_distribution<int> chunk(1, 20);
    std::uniform_int_distribution<int> lostSwitches(1, 2);
    std::uniform_int_distribution<int> lostSwitchesIn(0, 9);
    std::uniform_int_distribution<int> echo(0, 2);
    std::bernoulli_distribution rarely(0.05);
    const char* const kEchoModes[] = {"addr", "zero", "random"};
    std::map<std::string, int> counts;
    BadOutcomes bad;
    int successes = 0;
    for (int run = 1; run <= runs; ++run) {
        testsupport::TempDir dir;
        const Bytes image = testsupport::MakeImage(imageSize, "Jun 20 2011", "09:15:48", 6,
                                                   static_cast<unsigned>(run));
        testsupport::WriteFile(dir / "seed.bin", image);
        std::vector<std::string> arguments = {
            "--firmware", dir / "seed.bin",       "--flash",      dir / "flash.bin",
            "--seed",     std::to_string(dice()), "--transcript", dir / "transcript.jsonl"};
        std::string options;
        const auto fault = [&](const char* name, const std::string& value) {
            arguments.insert(arguments.end(), {std::string("--") + name, value});
            options += std::string(options.empty() ? "" : " ") + name + " " + value;
        };
        fault("flip-in", std::to_string(flip(dice)));
        fault("flip-out", std::to_string(flip(dice)));
        fault("drop-in", std::to_string(drop(dice)));
        fault("drop-out", std::to_string(drop(dice)));
        fault("duplicate", std::to_string(duplicate(dice)));
        fault("delay", std::to_string(delay(dice)));
        const std::int32_t baud = SearchBaudRates[rate(dice)];
        fault("baud", std::to_string(baud));
        if (half(dice)) {
            // Bytes take their wire time, duplicates follow back to back.
            arguments.push_back("--pace");
            options += " pace";
        }
        if (half(dice)) {
            fault("chunk", std::to_string(sometimes(dice) ? 16 : chunk(dice)));
        }
        if (sometimes(dice)) {
            fault("lose-switch-back", std::to_string(lostSwitches(dice)));
        }
        fault("boot-echo", kEchoModes[echo(dice)]);
        fault("lose-switch-in", std::to_string(lostSwitchesIn(dice)));
        if (rarely(dice)) {
            if (half(dice)) {
                arguments.push_back("--info-bad-checksum");
                options += " info-bad-checksum";
            } else {
                fault("info-unanswered", "2");
            }
        }
        CFirmwareImage firmware(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
        firmware.LoadFromBytes(image);
        UpdateOutcome outcome;
        bool hung = false;
        const auto start = Clock::now();
        {
            testsupport::SimProcess sim(dir, arguments);
            ObservedUpdateDlg dialog;
            HangGuard guard(dialog);
            outcome = RunUpdate(dialog, dir / "devices", baud, firmware, 20);
            hung = guard.fired;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const bool flashHolds = FlashHolds(testsupport::ReadFile(dir / "flash.bin"), image);
        std::string name = hung ? "" : Classify(outcome);
        const bool success = name == "success";
        if (hung) {
            name = "HANG";
            ++bad.hang;
        } else if (name.empty()) {
            name = "UNEXPECTED";
            ++bad.unexpected;
        } else if (success && !flashHolds) {
            name = "FALSE SUCCESS: the flash differs";
            ++bad.falseSuccess;
        } else if (!success && flashHolds) {
            name = "FALSE FAILURE: " + name;
            ++bad.falseFailure;
        } else if ((success || name == "verification failed five times" ||
                    name == "cannot leave the bootloader") &&
                   LeftInBootloader(dir / "transcript.jsonl")) {
            // The soak never keeps the bootloader from leaving for good.
            name = "LEFT IN THE BOOTLOADER: " + name;
            ++bad.leftInBootloader;
        }
        successes += name == "success" ? 1 : 0;
        ++counts[name];
        std::printf("run %2d  %-32s end %d  flash %s  %5.1f s  (%s)\n", run, name.c_str(),
                    outcome.result, flashHolds ? "= image" : "≠ image", seconds, options.c_str());
        if (name != "success") {
            PrintLastFramesReceived(dir / "transcript.jsonl");
        }
        std::fflush(stdout);
    }
    std::printf("\n%d runs:\n", runs);
    for (const auto& [name, count] : counts) {
        std::printf("  %3d  %s\n", count, name.c_str());
    }
    // A crash ends the runner itself: reaching this table means none.
    std::printf(
        "\n| runs | successes | crash | hang | false success | false failure | "
        "left in bootloader with a switch back possible | end the updater does not have |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    std::printf("| %d | %d | 0 | %d | %d | %d | %d | %d |\n", runs, successes, bad.hang,
                bad.falseSuccess, bad.falseFailure, bad.leftInBootloader, bad.unexpected);
    return bad.Total() == 0 ? 0 : 1;
}

// One measured update: from OK in the port dialog to the end of the update
// dialog, the session log's closing sections included when it listens.
struct UpdateFigures {
    bool success = false;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    std::uintmax_t logBytes = 0;  // size of the session log written; 0 without one
};

UpdateFigures MeasureUpdate(bool withSessionLog, bool verbose,
                            const std::vector<std::string>& simOptions = {},
                            Pacing pacing = Pacing::Default) {
    UpdateFigures figures;
    testsupport::TempDir dir;
    // ZIRON7_TRANSCRIPT names a file for the simulator's record of the line.
    const char* transcriptAsked = std::getenv("ZIRON7_TRANSCRIPT");
    const std::string transcript = transcriptAsked != nullptr
                                       ? std::string(transcriptAsked)
                                       : std::string(dir / "transcript.jsonl");
    std::vector<std::string> arguments = {"--baud",          std::to_string(kMeasureBaud),
                                          "--pace",          "--flash",
                                          dir / "flash.bin", "--transcript",
                                          transcript};
    arguments.insert(arguments.end(), simOptions.begin(), simOptions.end());
    testsupport::SimProcess sim(dir, arguments);
    if (sim.ReadyLine().empty()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return figures;
    }
    ::setenv("ZIRON7_DEVICE_DIR", (dir / "devices").c_str(), 1);
    CFirmwareImage firmware(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    if (!firmware.LoadFromResource()) {
        return figures;
    }
    // Kept until the report below, so that its file can be shown.
    testsupport::TempDir logDir;
    RunFacts facts;
    std::optional<SessionLog> sessionLog;
    std::optional<SessionEventsFanOut> run;
    std::optional<SessionEventsScope> listening;
    if (withSessionLog) {
        sessionLog.emplace(logDir.Path(), ProgramStamp{"update_runner", "measurement"}, facts);
        run.emplace(std::initializer_list<SessionEvents*>{&facts, &*sessionLog});
        listening.emplace(*run);
    }
    CSerialCWnd serial;
    DeviceInfo device;
    MessageBoxOperator person(0);

    // The port dialog finds the instrument; the operator presses OK as soon
    // as it is enabled.
    CPortDlg portDialog;
    portDialog.m_pSerial = &serial;
    portDialog.m_pDeviceInfo = &device;
    portDialog.m_pImage = &firmware;
    Clock::time_point okPressed;
    double cpuAtOk = 0;
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto* ok = ControlWidget<QPushButton>(kPortDialog, IDOK);
        if (ok != nullptr && ok->isEnabled()) {
            operatorHand.stop();
            okPressed = Clock::now();
            cpuAtOk = CpuSeconds();
            ok->click();
        }
    });
    operatorHand.start(kPortDialogPollMs);
    if (portDialog.DoModal() != IDOK) {
        std::fprintf(stderr, "the port dialog did not end with OK\n");
        return figures;
    }

    ObservedUpdateDlg updateDialog;
    updateDialog.m_pSerial = &serial;
    updateDialog.m_pDeviceInfo = &device;
    updateDialog.m_pImage = &firmware;
    updateDialog.m_nPacing = pacing;
    const int result = updateDialog.DoModal();
    if (sessionLog) {
        sessionLog->OnUpdateEnded(result, result == IDOK);
        sessionLog->Finish();
        std::error_code unreadable;
        figures.logBytes = std::filesystem::file_size(sessionLog->FilePath(), unreadable);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - okPressed).count();
    const double cpu = CpuSeconds() - cpuAtOk;
    serial.Close();

    const bool success = !person.Shown().empty() && person.Shown().back().text == kSucceeded;
    figures = {success, wall, cpu, figures.logBytes};
    if (!verbose) {
        return figures;
    }
    std::printf("found at %d baud; update ended with %d, %s\n", device.baudRate, result,
                success ? "success" : "no success");
    std::printf("wall time from OK to the outcome box: %.3f s\n", wall);
    std::printf("CPU time of the program meanwhile:    %.3f s (%.1f %%)\n", cpu,
                100.0 * cpu / wall);
    std::printf("requests repeated:                    %d\n", RepeatedRequests(transcript));
    for (const std::string& line : updateDialog.log) {
        std::printf("  | %s\n", line.c_str());
    }
    // The first figures of each pass, as the operator saw them.
    for (const char* pass : {"Запись", "Проверка"}) {
        const auto first =
            std::find_if(updateDialog.progressSeen.begin(), updateDialog.progressSeen.end(),
                         [pass](const std::string& seen) { return seen.rfind(pass, 0) == 0; });
        if (first != updateDialog.progressSeen.end()) {
            std::printf("first figure: %s\n", first->c_str());
        }
    }
    return figures;
}

int Measure(std::vector<std::string> options) {
    Pacing pacing = Pacing::Default;
    if (!options.empty() && options.front() == "--fast") {
        pacing = Pacing::Fast;
        options.erase(options.begin());
    }
    return MeasureUpdate(false, true, options, pacing).success ? 0 : 1;
}

// The session log's share alone, free of the run-to-run spread of a whole
// update: the CPU time it takes to receive the events of one update of the
// embedded image (every frame sent and received, the log lines) and to write
// its file, as the mean of many.
double SessionLogWorkMs() {
    constexpr int kRepeats = 50;
    constexpr int kFramesEachWay = 3 + 2 + 2 + 421 + 281;  // as the update sends them
    constexpr std::size_t kLoadHalfFrameSize = 142;        // the largest frame, in bytes
    constexpr int kLogLines = 10;
    std::vector<std::uint8_t> frame(kLoadHalfFrameSize, 0x5A);
    frame[kFrameCommandIndex] = CMD_LOADER;  // masked when written, as the real ones
    frame[kFrameLengthIndex] = static_cast<std::uint8_t>(kLoadHalfFrameSize - kFrameOverhead);
    testsupport::TempDir dir;
    const double cpuBefore = CpuSeconds();
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        const RunFacts facts;
        SessionLog log(dir.Path(), {"update_runner", "measurement"}, facts);
        log.OnPortOpened("\\\\.\\COM1");
        for (int line = 0; line < kLogLines; ++line) {
            log.OnLogLine("Обновление микропрограммы прошло УСПЕШНО");
        }
        for (int i = 0; i < kFramesEachWay; ++i) {
            log.OnFrameSent(frame);
            log.OnFrameReceived(frame);
        }
        log.OnUpdateEnded(IDOK, true);
    }
    return 1000.0 * (CpuSeconds() - cpuBefore) / kRepeats;
}

// The update without and with the session log, `pairs` times each,
// alternating so that a slow spell of the machine hits both alike.
int MeasureSessionLog(int pairs) {
    double wall[2] = {0, 0};
    double cpu[2] = {0, 0};
    bool allSucceeded = true;
    for (int pair = 1; pair <= pairs; ++pair) {
        for (const bool withLog : {false, true}) {
            const UpdateFigures figures = MeasureUpdate(withLog, false);
            allSucceeded = allSucceeded && figures.success;
            wall[withLog] += figures.wallSeconds;
            cpu[withLog] += figures.cpuSeconds;
            std::printf("run %d %-17s %s  wall %7.3f s  CPU %6.3f s", pair,
                        withLog ? "with the log:" : "without the log:",
                        figures.success ? "success" : "NO SUCCESS", figures.wallSeconds,
                        figures.cpuSeconds);
            if (withLog) {
                std::printf("  (log of %ju bytes)", figures.logBytes);
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    std::printf("\nmean of %d update(s) each, from OK to the end of the update dialog:\n", pairs);
    std::printf("  without the session log: wall %7.3f s  CPU %6.3f s\n", wall[0] / pairs,
                cpu[0] / pairs);
    std::printf("  with the session log:    wall %7.3f s  CPU %6.3f s\n", wall[1] / pairs,
                cpu[1] / pairs);
    std::printf("  difference:              wall %+7.3f s  CPU %+6.3f s\n",
                (wall[1] - wall[0]) / pairs, (cpu[1] - cpu[0]) / pairs);
    std::printf("the session log's own work for one update's events: CPU %.3f ms\n",
                SessionLogWorkMs());
    return allSucceeded ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "soak") {
        const int runs = argc > 2 ? std::atoi(argv[2]) : 50;
        const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoll(argv[3])) : 1;
        const std::size_t imageSize =
            argc > 4 ? static_cast<std::size_t>(std::atoll(argv[4])) : kSoakImageSize;
        return Soak(runs, seed, imageSize);
    }
    if (mode == "measure") {
        return Measure(std::vector<std::string>(argv + 2, argv + argc));
    }
    if (mode == "measure-log") {
        return MeasureSessionLog(argc > 2 ? std::max(1, std::atoi(argv[2])) : 1);
    }
    std::fprintf(stderr,
                 "usage: update_runner soak [RUNS [SEED [BYTES]]] | "
                 "measure [--fast] [SIM OPTION]... | measure-log [PAIRS]\n");
    return 2;
}
