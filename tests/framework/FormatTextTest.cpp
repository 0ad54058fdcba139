#include "FormatText.h"

#include <gmock/gmock.h>

namespace {

TEST(FormatText, FormatsAsPrintfDoes) {
    EXPECT_EQ(FormatText("Поиск... Скорость %d", 4800), "Поиск... Скорость 4800");
    EXPECT_EQ(FormatText("Порт %s недоступен", "COM255"), "Порт COM255 недоступен");
    EXPECT_EQ(FormatText("%3.0f%%", 50.18), " 50%");
    EXPECT_EQ(FormatText("%s", ""), "");
}

TEST(FormatText, TakesTextsOfAnyLength) {
    const std::string longText(5000, 'x');
    EXPECT_EQ(FormatText("[%s]", longText.c_str()), "[" + longText + "]");
    // Around the length formatted in one pass, and just past it.
    for (std::size_t length = 250; length <= 260; ++length) {
        const std::string text(length - 2, 'y');
        EXPECT_EQ(FormatText("<%s>", text.c_str()), "<" + text + ">") << length;
    }
}

}  // namespace
