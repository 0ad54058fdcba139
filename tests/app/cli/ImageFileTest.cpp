// An image file is checked before any byte goes to the instrument; each
// check that fails is named. The digest in the session log is SHA-256.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ImageFile.h"
#include "ImageFiles.h"
#include "Sha256.h"
#include "TempDir.h"

namespace {

using testsupport::Bytes;
using testsupport::MakeImage;

constexpr std::size_t kHeaderEnd = 165;      // the version's last byte is 164
// The last block read back ends at 0xFEFF: a block at 0xFF00 would be the
// checksum query.
constexpr std::size_t kLargestImage = 65279;

// A good image whose header texts are then overwritten with `date` and
// `time` as they stand, each with its terminating NUL.
Bytes WithHeaderTexts(const char* date, const char* time) {
    Bytes image = MakeImage(4096, "Jun 20 2011", "09:15:48", 6, 1);
    std::copy(date, date + std::strlen(date) + 1, image.begin() + 140);
    std::copy(time, time + std::strlen(time) + 1, image.begin() + 152);
    return image;
}

std::string Failure(const Bytes& image) {
    return CheckImage(image).value_or("");
}

TEST(ImageFile, AnImageWithAParsingDateAndTimeAndARoomySizePasses) {
    EXPECT_FALSE(CheckImage(MakeImage(35698, "Jun 20 2011", "09:15:48", 6, 1)));
    EXPECT_FALSE(CheckImage(MakeImage(kHeaderEnd, "Jan  1 2030", "23:59:59", 7, 2)));
    EXPECT_FALSE(CheckImage(MakeImage(kLargestImage, "Dec 31 2012", "00:00:00", 8, 3)));
}

TEST(ImageFile, SizesOutsideTheFormatFailTheSizeCheck) {
    // One byte short of the header, and one byte past 16-bit addresses.
    EXPECT_NE(Failure(Bytes(kHeaderEnd - 1, 0)).find("size check failed: 164 bytes"),
              std::string::npos);
    EXPECT_NE(Failure(MakeImage(65536, "Jun 20 2011", "09:15:48", 6, 1))
                  .find("size check failed: 65536 bytes, an image holds 165 to 65279 bytes"),
              std::string::npos);
    EXPECT_NE(Failure({}).find("size check failed: 0 bytes"), std::string::npos);
}

TEST(ImageFile, AnImageWhoseReadBackWouldReachTheChecksumQueryFailsTheSizeCheck) {
    // From 65,280 bytes on the last page ends at 0xFFFF, and reading back its
    // block at 0xFF00 would ask for the checksum instead: such a pass could
    // never verify. The failure says why and the largest size that works.
    for (const std::size_t size : {std::size_t{65280}, std::size_t{65300}, std::size_t{65535}}) {
        const std::string failure = Failure(MakeImage(size, "Jun 20 2011", "09:15:48", 6, 1));
        EXPECT_NE(failure.find("size check failed: " + std::to_string(size) + " bytes"),
                  std::string::npos)
            << failure;
        EXPECT_NE(failure.find("0xFF00"), std::string::npos) << failure;
        EXPECT_NE(failure.find("an image holds 165 to 65279 bytes"), std::string::npos) << failure;
    }
}

TEST(ImageFile, AMonthThatIsNoMonthFailsTheDateCheck) {
    EXPECT_NE(Failure(MakeImage(4096, "Jux 20 2011", "09:15:48", 6, 1))
                  .find("build date check failed: no month name in \"Jux 20 2011\""),
              std::string::npos);
}

TEST(ImageFile, DateOrTimeTextsOfTheWrongShapeFailTheDateAndTimeCheck) {
    for (const auto& [date, time] : {std::pair{"Jun 20 11", "09:15:48"},
                                     std::pair{"Jun 20 2011", "9:15"},
                                     std::pair{"Jun 20 2011", "09:15:48pm"},
                                     std::pair{"", ""}}) {
        EXPECT_NE(Failure(WithHeaderTexts(date, time)).find("build date and time check failed"),
                  std::string::npos)
            << date << " " << time;
    }
}

TEST(ImageFile, AGarbageHeaderIsQuotedShortAndPrintable) {
    // No terminator where one is due, and bytes that a terminal would obey:
    // the message must carry neither the file's bytes nor its length.
    Bytes image(4096);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i % 16 == 0 ? 0x1B : 0x80 + i % 0x7F);
    }
    const std::string failure = Failure(image);
    EXPECT_NE(failure.find("check failed"), std::string::npos) << failure;
    EXPECT_LT(failure.size(), 200u) << failure;
    EXPECT_TRUE(std::all_of(failure.begin(), failure.end(),
                            [](char c) { return c >= 0x20 && c < 0x7F; }))
        << failure;
}

TEST(ImageFile, AFileIsReadCheckedAndDigested) {
    testsupport::TempDir folder;
    const Bytes image = MakeImage(4096, "Jun 20 2011", "09:15:48", 6, 4);
    testsupport::WriteFile(folder / "good.bin", image);
    const ImageFile good = ReadImageFile(folder / "good.bin");
    EXPECT_EQ(good.error, "");
    EXPECT_EQ(good.bytes, image);
    EXPECT_EQ(good.sha256Hex, Sha256Hex(image));

    testsupport::WriteFile(folder / "bad.bin", WithHeaderTexts("Jun 20 2011", "9:15:48"));
    const ImageFile bad = ReadImageFile(folder / "bad.bin");
    EXPECT_NE(bad.error.find("check failed"), std::string::npos) << bad.error;
    EXPECT_EQ(bad.sha256Hex, "");
}

TEST(ImageFile, AMissingFileOrAFolderIsNoImage) {
    testsupport::TempDir folder;
    EXPECT_EQ(ReadImageFile(folder / "missing.bin").error, "cannot read the file: no such file");
    EXPECT_EQ(ReadImageFile(folder.Path()).error, "cannot read the file: no such file");
}

TEST(ImageFile, AHugeFileFailsTheSizeCheckWithoutBeingRead) {
    testsupport::TempDir folder;
    testsupport::WriteFile(folder / "huge.bin", Bytes(1 << 20, 0xFF));
    const ImageFile huge = ReadImageFile(folder / "huge.bin");
    EXPECT_NE(huge.error.find("size check failed: 1048576 bytes"), std::string::npos) << huge.error;
    EXPECT_TRUE(huge.bytes.empty());
}

}  // namespace
