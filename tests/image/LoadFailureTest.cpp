#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <cstring>

#include "AccessCode.h"
#include "ImageTestSupport.h"
#include "MessageBox.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kLoadFailed = "Ошибка загрузки данных!\nДанный файл некорректен!";
constexpr const char* kBadDateTime =
    "Ошибка в файле данных - Дата и время!\nДанный файл некорректен!";
constexpr const char* kBadMonth =
    "Ошибка в файле данных - Неверное имя месяца!\nДанный файл некорректен!";

struct BadImage {
    const char* name;
    Bytes bytes;
    const char* message;
};

Bytes WithText(std::size_t size, std::size_t offset, const char* text, std::size_t length) {
    Bytes image = MakeImage(size);
    std::memcpy(image.data() + offset, text, length);
    return image;
}

class RejectedImage : public ::testing::TestWithParam<BadImage> {};

TEST_P(RejectedImage, ShowsItsMessageWithTheStopIconAndKeepsTheDefaults) {
    MessageBoxOperator operatorStandIn;
    CFirmwareImage image(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
    EXPECT_FALSE(image.LoadFromBytes(GetParam().bytes));
    ASSERT_EQ(operatorStandIn.Shown().size(), 1U);
    EXPECT_EQ(operatorStandIn.Shown()[0].text, GetParam().message);
    EXPECT_EQ(operatorStandIn.Shown()[0].type, MB_ICONSTOP);
    EXPECT_EQ(image.GetBuildDateText(), "01/01/2000");
    EXPECT_EQ(image.BeginWrite(), IMAGE_OUT_OF_PLACE);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RejectedImage,
    ::testing::Values(
        BadImage{"Empty", {}, kLoadFailed},
        BadImage{"ShorterThanTheHeader", MakeImage(164), kLoadFailed},
        BadImage{"LongerThan16BitAddresses", MakeImage(65536), kLoadFailed},
        BadImage{"TenCharacterDate", WithText(400, 140, "Jun 20 201\0", 11), kBadDateTime},
        BadImage{"SevenCharacterTime", WithText(400, 152, "09:15:4\0", 8), kBadDateTime},
        BadImage{"UnterminatedDate", WithText(400, 140, "Jun 20 2011x", 12), kBadDateTime},
        BadImage{"NoMonth", WithText(400, 140, "Jux", 3), kBadMonth},
        // No terminator before the image ends: the text ends with the image.
        BadImage{"UnterminatedTimeAtTheImageEnd", WithText(165, 160, "xxxxx", 5), kBadDateTime}),
    [](const ::testing::TestParamInfo<BadImage>& param) { return param.param.name; });

TEST(AcceptedImage, SmallestAndLargestSizes) {
    MessageBoxOperator operatorStandIn;
    for (const std::size_t size : {std::size_t{165}, std::size_t{65535}}) {
        CFirmwareImage image(kAccessCodeLow, kAccessCodeHigh, CMD_LOADER);
        const Bytes bytes = MakeImage(size);
        EXPECT_TRUE(image.LoadFromBytes(bytes)) << size;
        EXPECT_EQ(image.GetEndValue(), size | 0xFF);
    }
    EXPECT_TRUE(operatorStandIn.Shown().empty());
}

// The stand-in operator answers later while timers keep running, as they do
// under a real message box.
TEST(MessageBoxOperatorStandIn, TimersRunWhileTheBoxWaits) {
    MessageBoxOperator operatorStandIn(60);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(AfxMessageBox("Нет связи с Зирон-7!", MB_ICONSTOP), IDOK);
    EXPECT_GE(elapsed.elapsed(), 60);
    EXPECT_GE(ticks, 2);
    ASSERT_EQ(operatorStandIn.Shown().size(), 1U);
    EXPECT_EQ(operatorStandIn.Shown()[0].text, "Нет связи с Зирон-7!");
}

TEST(MessageBoxOperatorStandIn, NestedOperatorsAnswerInTurn) {
    MessageBoxOperator outer;
    {
        MessageBoxOperator inner;
        AfxMessageBox("inner", MB_OK);
        EXPECT_EQ(inner.Shown().size(), 1U);
    }
    AfxMessageBox("outer", MB_ICONINFORMATION);
    ASSERT_EQ(outer.Shown().size(), 1U);
    EXPECT_EQ(outer.Shown()[0].type, MB_ICONINFORMATION);
}

}  // namespace
