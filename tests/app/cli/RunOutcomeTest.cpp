// How the end of a run maps onto ziron7-cli's outcome codes and exit codes:
// every end the dialogs can reach, and where each leaves the instrument.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "DialogResults.h"
#include "RunOutcome.h"
#include "UpdateDlg.h"

namespace {

RunEnd Updated(int result, std::uint8_t phase, bool success) {
    RunEnd end;
    end.found = true;
    end.updateResult = result;
    end.phase = phase;
    end.success = success;
    return end;
}

// Found in its bootloader and answered No: the run ends before the decision,
// as a foreign device's does, but the instrument is no stranger.
RunEnd LeftInLoader() {
    RunEnd end = Updated(IDCANCEL, PHASE_INFO, false);
    end.foundInLoader = true;
    return end;
}

RunEnd Interrupted(RunEnd end, int exitCode = kExitInterrupted) {
    end.interrupted = true;
    end.interruptExitCode = exitCode;
    return end;
}

TEST(RunOutcome, EveryEndOfTheDialogsHasItsCodeAndExitCode) {
    struct Case {
        RunEnd end;
        const char* code;
        int exitCode;
    };
    RunEnd badImage;
    badImage.imageLoaded = false;
    RunEnd portBusy;
    portBusy.portFailure = Outcome::PortBusy;
    RunEnd echo;
    echo.heard = CPortDlg::LineHeard::OwnBytes;
    RunEnd foreign;
    foreign.heard = CPortDlg::LineHeard::AnotherDevice;
    RunEnd sameBuild = Updated(IDOK, PHASE_DONE, true);
    sameBuild.nothingToWrite = true;
    const Case cases[] = {
        {badImage, "bad_image", kExitBadUsage},
        {RunEnd{}, "no_instrument", kExitNotFound},
        {portBusy, "port_busy", kExitNotFound},
        {echo, "own_echo", kExitNotFound},
        {foreign, "foreign_device", kExitNotFound},
        {Interrupted(RunEnd{}), "interrupted", kExitInterrupted},
        {Interrupted(Updated(IDCANCEL, PHASE_WRITE, false), kExitTerminated), "interrupted", kExitTerminated},
        // The outcome was reached before Ctrl+C: it stands.
        {Interrupted(Updated(IDOK, PHASE_DONE, true)), "updated", kExitSuccess},
        {Updated(IDOK, PHASE_DONE, true), "updated", kExitSuccess},
        {sameBuild, "verified", kExitSuccess},
        {Updated(IDOK, PHASE_DONE, false), "verify_failed", kExitVerifyFailed},
        {Updated(IDOK, PHASE_INFO, false), "refused_later", kExitRefused},
        {Updated(IDCANCEL, PHASE_INFO, false), "foreign_device", kExitNotFound},
        {Updated(kUpdateLinkLost, PHASE_INFO, false), "no_link", kExitLinkLost},
        {LeftInLoader(), "left_in_bootloader", kExitLinkLost},
        {Updated(IDCANCEL, PHASE_ENTER, false), "no_link", kExitLinkLost},
        {Updated(kUpdateLinkLost, PHASE_WRITE, false), "no_link", kExitLinkLost},
        {Updated(IDOK, PHASE_LEAVE, true), "cannot_leave_bootloader", kExitCannotLeave},
        {Updated(kUpdateLinkLost, PHASE_LEAVE, false), "cannot_leave_bootloader", kExitCannotLeave},
    };
    for (const Case& run : cases) {
        const Outcome outcome = OutcomeOf(run.end);
        EXPECT_EQ(OutcomeCode(outcome), run.code);
        EXPECT_EQ(ExitCodeOf(outcome, run.end.interruptExitCode), run.exitCode) << run.code;
    }
}

TEST(RunOutcome, EveryOutcomeHasItsOwnCodeAndAText) {
    // The table is read by position: a row out of place would give an
    // outcome another's code.
    std::set<std::string_view> codes;
    for (int i = 0; i <= static_cast<int>(Outcome::Interrupted); ++i) {
        const auto outcome = static_cast<Outcome>(i);
        EXPECT_TRUE(codes.insert(OutcomeCode(outcome)).second) << OutcomeCode(outcome);
        EXPECT_FALSE(OutcomeText(outcome).empty());
    }
    EXPECT_EQ(OutcomeCode(Outcome::PortMissing), "port_missing");
    EXPECT_EQ(OutcomeCode(Outcome::Interrupted), "interrupted");
}

TEST(RunOutcome, TheStateOfTheInstrumentFollowsThePhase) {
    const auto says = [](const RunEnd& end, const char* words) {
        return InstrumentStateText(end).find(words) != std::string::npos;
    };
    EXPECT_TRUE(says(Updated(kUpdateLinkLost, PHASE_WRITE, false), "partly written"));
    EXPECT_TRUE(says(Updated(IDCANCEL, PHASE_INFO, false), "nothing was written"));
    EXPECT_TRUE(says(LeftInLoader(), "in its bootloader"));
    EXPECT_TRUE(says(RunEnd{}, "not reached"));
    RunEnd verifying = Updated(IDCANCEL, PHASE_VERIFY, false);
    EXPECT_TRUE(says(verifying, "written but not verified"));
    // Verify, or an update that found the image's own build, wrote nothing:
    // interrupted mid-verification it must not say the flash was written.
    verifying.nothingToWrite = true;
    EXPECT_TRUE(says(verifying, "unchanged"));
    EXPECT_FALSE(says(verifying, "written"));
}

}  // namespace
