// How the end of a run maps onto ziron7-cli's exit codes: every end the
// dialogs can reach, and the JSON text that carries the outcome.
#include <gtest/gtest.h>

#include "DialogResults.h"
#include "ExitCodes.h"
#include "JsonText.h"
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

TEST(ExitCodes, EveryEndOfTheDialogsHasItsCode) {
    struct Case {
        RunEnd end;
        int code;
        const char* what;
    };
    RunEnd badImage;
    badImage.imageLoaded = false;
    RunEnd notFound;
    RunEnd interruptedSearch;
    interruptedSearch.interrupted = true;
    RunEnd interruptedWrite = Updated(IDCANCEL, PHASE_WRITE, false);
    interruptedWrite.interrupted = true;
    RunEnd interruptedTooLate = Updated(IDOK, PHASE_DONE, true);
    interruptedTooLate.interrupted = true;
    const Case cases[] = {
        {badImage, kExitBadUsage, "an image that does not load"},
        {notFound, kExitNotFound, "the search gave up, or the port did not open"},
        {interruptedSearch, kExitInterrupted, "Ctrl+C during the search"},
        {interruptedWrite, kExitInterrupted, "Ctrl+C while writing"},
        {interruptedTooLate, kExitSuccess, "Ctrl+C after the outcome"},
        {Updated(IDOK, PHASE_DONE, true), kExitSuccess, "written and verified"},
        {Updated(IDOK, PHASE_DONE, false), kExitVerifyFailed, "five failed verifications"},
        {Updated(IDOK, PHASE_INFO, false), kExitRefused, "later firmware refused"},
        {Updated(IDCANCEL, PHASE_INFO, false), kExitNotFound, "not a Зирон-7 on the line"},
        {Updated(kUpdateLinkLost, PHASE_INFO, false), kExitLinkLost, "silent before the decision"},
        {LeftInLoader(), kExitLinkLost, "found in its bootloader and answered No"},
        {Updated(IDCANCEL, PHASE_ENTER, false), kExitLinkLost, "cannot enter the bootloader"},
        {Updated(IDOK, PHASE_ENTER, false), kExitLinkLost, "wrong signature"},
        {Updated(kUpdateLinkLost, PHASE_WRITE, false), kExitLinkLost, "silent mid-write"},
        {Updated(kUpdateLinkLost, PHASE_VERIFY, false), kExitLinkLost, "silent mid-verify"},
        {Updated(IDOK, PHASE_LEAVE, false), kExitCannotLeave, "counted out on the way back"},
        {Updated(IDOK, PHASE_LEAVE, true), kExitCannotLeave, "verified, silent on the way back"},
        {Updated(kUpdateLinkLost, PHASE_LEAVE, false), kExitCannotLeave,
         "failed, silent on the way back"},
    };
    for (const Case& run : cases) {
        EXPECT_EQ(ExitCodeFor(run.end), run.code) << run.what;
    }
}

TEST(ExitCodes, TheStateOfTheInstrumentFollowsThePhase) {
    EXPECT_NE(InstrumentStateText(Updated(kUpdateLinkLost, PHASE_WRITE, false), false)
                  .find("partly written"),
              std::string::npos);
    EXPECT_NE(InstrumentStateText(Updated(IDCANCEL, PHASE_VERIFY, false), true).find("unchanged"),
              std::string::npos);
    EXPECT_NE(InstrumentStateText(Updated(IDCANCEL, PHASE_INFO, false), false).find("nothing was written"),
              std::string::npos);
    EXPECT_NE(InstrumentStateText(LeftInLoader(), false).find("in its bootloader"),
              std::string::npos);
    EXPECT_NE(InstrumentStateText(RunEnd{}, false).find("not reached"), std::string::npos);
}

TEST(JsonText, TextsAreEscapedAndObjectsNest) {
    JsonObject inner;
    inner.Number("passes", 1);
    JsonObject outer;
    outer.Text("outcome", "ВНИМАНИЕ!\nдва \"слова\" \\ \t");
    outer.Object("counts", inner);
    outer.Number("exit_code", 130);
    EXPECT_EQ(outer.Render(),
              "{\"outcome\":\"ВНИМАНИЕ!\\nдва \\\"слова\\\" \\\\ \\u0009\","
              "\"counts\":{\"passes\":1},\"exit_code\":130}");
    EXPECT_EQ(JsonObject().Render(), "{}");
}

}  // namespace
