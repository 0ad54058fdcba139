// What --version says of the firmware a program carries: the header's
// version and build time as the dialogs show them, the image's size and
// digest, and an honest line for an image that cannot be read or is missing.
#include <gtest/gtest.h>

#include <string>

#include "FirmwareIdentity.h"
#include "ImageFiles.h"
#include "Sha256.h"

namespace {

using testsupport::Bytes;
using testsupport::MakeImage;

TEST(VersionText, NamesTheProgramAndTheFirmwaresVersionBuildTimeSizeAndDigest) {
    const Bytes image = MakeImage(4096, "Jun 20 2011", "09:15:48", 6, 1);
    EXPECT_EQ(VersionText("ziron7-cli", "1.0", image),
              "ziron7-cli 1.0\n"
              "Firmware: version 6, built 20/06/2011 09:15:48, 4096 bytes\n"
              "SHA-256: " + Sha256Hex(image) + "\n");
}

TEST(VersionText, ReadsTheVersionLowByteFirstAndTheMonthInAnyCase) {
    const Bytes image = MakeImage(165, "dec 31 2099", "23:59:59", 0x0102, 2);
    const std::string text = VersionText("ziron7-sim", "1.0", image);
    EXPECT_NE(text.find("\nFirmware: version 258, built 31/12/2099 23:59:59, 165 bytes\n"),
              std::string::npos)
        << text;
}

TEST(VersionText, AnImageWhoseHeaderCannotBeReadIsSaidSoWithItsSizeAndDigest) {
    const std::string unreadable = "Firmware: the image's header cannot be read, ";
    Bytes headerCut = MakeImage(4096, "Jun 20 2011", "09:15:48", 6, 3);
    headerCut.resize(164);  // the version's high byte is missing
    for (const Bytes& image : {MakeImage(4096, "Foo 20 2011", "09:15:48", 6, 3),
                               MakeImage(4096, "Jun 20 2011", "09:15:4\0", 6, 3), headerCut,
                               MakeImage(0x10000, "Jun 20 2011", "09:15:48", 6, 3)}) {
        const std::string text = VersionText("ziron7-flasher", "1.0", image);
        EXPECT_NE(text.find("\n" + unreadable + std::to_string(image.size()) + " bytes\nSHA-256: " +
                            Sha256Hex(image) + "\n"),
                  std::string::npos)
            << text;
    }
}

TEST(VersionText, WithoutAnImageThereIsNoFirmwareToDescribe) {
    EXPECT_EQ(VersionText("ziron7-flasher", "1.0", {}), "ziron7-flasher 1.0\nFirmware: none\n");
}

TEST(Sha256, KnownDigests) {
    // FIPS 180-4 examples, and a message that spills the length into a
    // second block.
    const std::string abc = "abc";
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex({reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()}),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Sha256Hex({reinterpret_cast<const std::uint8_t*>(two.data()), two.size()}),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(Bytes(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
