// How the end of a run maps onto ziron7-cli's outcome codes and exit codes:
// every end the dialogs can reach, and where each leaves the instrument.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "RunOutcome.h"
#include "UpdateDlg.h"

namespace {

RunEnd Updated(std::optional<UpdateConclusion> conclusion, std::uint8_t phase, bool success) {
    RunEnd end;
    end.found = true;
    end.conclusion = conclusion;
    end.phase = phase;
    end.success = success;
    return end;
}

// Found in its bootloader and answered No: the run ends before the decision,
// as a foreign device's does, but the instrument is no stranger.
RunEnd LeftInLoader() {
    RunEnd end = Updated(UpdateConclusion::StaysInLoader, PHASE_INFO, false);
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
    RunEnd sameBuild = Updated(UpdateConclusion::Succeeded, PHASE_DONE, true);
    sameBuild.nothingToWrite = true;
    const Case cases[] = {
        {badImage, "bad_image", kExitBadUsage},
        {RunEnd{}, "no_instrument", kExitNotFound},
        {portBusy, "port_busy", kExitNotFound},
        {echo, "own_echo", kExitNotFound},
        {foreign, "foreign_device", kExitNotFound},
        {Interrupted(RunEnd{}), "interrupted", kExitInterrupted},
        {Interrupted(Updated(std::nullopt, PHASE_WRITE, false), kExitTerminated), "interrupted", kExitTerminated},
        // The outcome was reached before Ctrl+C: it stands.
        {Interrupted(Updated(UpdateConclusion::Succeeded, PHASE_DONE, true)), "updated", kExitSuccess},
        {Updated(UpdateConclusion::Succeeded, PHASE_DONE, true), "updated", kExitSuccess},
        {sameBuild, "verified", kExitSuccess},
        {Updated(UpdateConclusion::VerifyFailed, PHASE_DONE, false), "verify_failed", kExitVerifyFailed},
        {Updated(UpdateConclusion::RefusedLater, PHASE_INFO, false), "refused_later", kExitRefused},
        {Updated(UpdateConclusion::ForeignDevice, PHASE_INFO, false), "foreign_device", kExitNotFound},
        // Another device answering the keep-alive while entering.
        {Updated(UpdateConclusion::ForeignDevice, PHASE_ENTER, false), "foreign_device", kExitNotFound},
        {Updated(UpdateConclusion::NoLink, PHASE_INFO, false), "no_link", kExitLinkLost},
        {LeftInLoader(), "left_in_bootloader", kExitLinkLost},
        {Updated(UpdateConclusion::CannotEnterLoader, PHASE_ENTER, false), "no_link", kExitLinkLost},
        {Updated(UpdateConclusion::NoLink, PHASE_WRITE, false), "no_link", kExitLinkLost},
        {Updated(UpdateConclusion::CannotLeaveLoader, PHASE_LEAVE, true), "cannot_leave_bootloader", kExitCannotLeave},
        {Updated(UpdateConclusion::NoLink, PHASE_LEAVE, false), "cannot_leave_bootloader", kExitCannotLeave},
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

TEST(RunOutcome, TheDecisionIsNamedAsTheUpdateReportedIt) {
    const auto named = [](std::optional<UpdateDecision> decision) {
        RunEnd end = Updated(std::nullopt, PHASE_INFO, false);
        end.decision = decision;
        return std::string(DecisionCode(end));
    };
    EXPECT_EQ(named(UpdateDecision::Write), "write");
    EXPECT_EQ(named(UpdateDecision::WriteIntoLoader), "write");
    EXPECT_EQ(named(UpdateDecision::VerifySameDate), "verify");
    EXPECT_EQ(named(UpdateDecision::VerifyOnly), "verify");
    EXPECT_EQ(named(UpdateDecision::RefuseLater), "refuse");
    EXPECT_EQ(named(UpdateDecision::LeaveInLoader), "none");
    // A verification whose link fell before the firmware was read decided nothing.
    EXPECT_EQ(named(std::nullopt), "none");
    RunEnd notFound;
    notFound.decision = UpdateDecision::Write;
    EXPECT_EQ(DecisionCode(notFound), "none");
}

TEST(RunOutcome, TheStateOfTheInstrumentFollowsThePhase) {
    const auto says = [](const RunEnd& end, const char* words) {
        return InstrumentStateText(end).find(words) != std::string::npos;
    };
    EXPECT_TRUE(says(Updated(UpdateConclusion::NoLink, PHASE_WRITE, false), "partly written"));
    EXPECT_TRUE(says(Updated(UpdateConclusion::ForeignDevice, PHASE_INFO, false), "nothing was written"));
    EXPECT_TRUE(says(LeftInLoader(), "in its bootloader"));
    EXPECT_TRUE(says(RunEnd{}, "not reached"));
    RunEnd verifying = Updated(std::nullopt, PHASE_VERIFY, false);
    EXPECT_TRUE(says(verifying, "written but not verified"));
    // Verify, or an update that found the image's own build, wrote nothing:
    // interrupted mid-verification it must not say the flash was written.
    verifying.nothingToWrite = true;
    EXPECT_TRUE(says(verifying, "unchanged"));
    EXPECT_FALSE(says(verifying, "written"));
}

}  // namespace
