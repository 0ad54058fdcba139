// The identities in a ziron7-cli result: which image the run carried, and
// what the instrument held before and after. "after" must never claim the
// image's firmware for a flash that was not verified.
#include <gtest/gtest.h>

#include "IdentityJson.h"
#include "ImageFiles.h"
#include "Sha256.h"
#include "UpdateDlg.h"

namespace {

using testsupport::MakeImage;

RunFacts::Identity FoundWithFirmware() {
    RunFacts::Identity id;
    id.serialNumber = 12345;
    id.firmwareType = 3;
    id.firmwareVersion = 5;
    id.firmwareDate = "Jun 20 2010";
    id.firmwareTime = "09:15:48";
    return id;
}

RunEnd Ended(std::uint8_t phase, bool success) {
    RunEnd end;
    end.found = true;
    end.phase = phase;
    end.success = success;
    return end;
}

TEST(IdentityJson, TheImageIsNamedByVersionBuildTimeSizeAndDigest) {
    const auto image = MakeImage(4096, "Jun 20 2011", "09:15:48", 6, 1);
    EXPECT_EQ(ImageJson(image, "file").Render(),
              "{\"source\":\"file\",\"version\":6,\"build_time\":\"Jun 20 2011 09:15:48\","
              "\"size\":4096,\"sha256\":\"" + Sha256Hex(image) + "\"}");
}

TEST(IdentityJson, AfterIsTheImageOnlyOnceWrittenAndVerified) {
    const auto image = MakeImage(4096, "Jun 20 2011", "09:15:48", 6, 1);
    const RunFacts::Identity id = FoundWithFirmware();
    const std::string before = "{\"version\":5,\"build_time\":\"Jun 20 2010 09:15:48\"}";
    const std::string imageFirmware = "{\"version\":6,\"build_time\":\"Jun 20 2011 09:15:48\"}";
    RunEnd refused = Ended(PHASE_INFO, false);
    RunEnd verified = Ended(PHASE_DONE, true);
    verified.nothingToWrite = true;
    RunEnd interruptedVerify = Ended(PHASE_VERIFY, false);
    interruptedVerify.nothingToWrite = true;
    struct Case {
        RunEnd end;
        std::string after;
        const char* what;
    };
    const Case cases[] = {
        {Ended(PHASE_DONE, true), imageFirmware, "written and verified"},
        {refused, before, "refused: nothing written"},
        {Ended(PHASE_ENTER, false), before, "not yet in the bootloader"},
        {verified, before, "verify only"},
        {interruptedVerify, before, "verify interrupted"},
        {Ended(PHASE_WRITE, false), "null", "partly written"},
        {Ended(PHASE_DONE, false), "null", "written, verification failed"},
        {Ended(PHASE_LEAVE, true), imageFirmware, "verified, then stuck in the bootloader"},
        {Ended(PHASE_LEAVE, false), "null", "failed, then stuck in the bootloader"},
    };
    for (const Case& run : cases) {
        EXPECT_EQ(FirmwareChangeJson(id, image, run.end).Render(),
                  "{\"before\":" + before + ",\"after\":" + run.after + "}")
            << run.what;
    }
    // Found in its bootloader: what it held is not known before or after.
    RunFacts::Identity inLoader;
    inLoader.serialNumber = 12345;
    EXPECT_EQ(FirmwareChangeJson(inLoader, image, Ended(PHASE_WRITE, false)).Render(),
              "{\"before\":null,\"after\":null}");
}

}  // namespace
