// The JSON text ziron7-cli prints: escaped, nested, and valid UTF-8
// whatever bytes a text brings (an image file's header, a path typed in
// another encoding), and the header texts shown in messages.
#include <gtest/gtest.h>

#include "JsonText.h"
#include "Utf8Text.h"

namespace {

TEST(JsonText, TextsAreEscapedAndObjectsNest) {
    JsonObject inner;
    inner.Number("passes", 1);
    JsonObject outer;
    outer.Text("outcome", "ВНИМАНИЕ!\nдва \"слова\" \\ \t\x7f");
    outer.Object("counts", inner);
    outer.Number("exit_code", 130);
    outer.Null("device");
    outer.Texts("names", {"a", "b"});
    outer.Objects("ports", {inner, inner});
    outer.Texts("none", {});
    EXPECT_EQ(outer.Render(),
              "{\"outcome\":\"ВНИМАНИЕ!\\nдва \\\"слова\\\" \\\\ \\u0009\\u007f\","
              "\"counts\":{\"passes\":1},\"exit_code\":130,\"device\":null,\"names\":[\"a\",\"b\"],"
              "\"ports\":[{\"passes\":1},{\"passes\":1}],\"none\":[]}");
    EXPECT_EQ(JsonObject().Render(), "{}");
}

TEST(JsonText, BytesThatAreNoUtf8BecomeTheReplacementCharacter) {
    const std::string replacement = "\xEF\xBF\xBD";
    struct Case {
        std::string bytes;
        std::string valid;
    };
    const Case cases[] = {
        {"\xFF", replacement},
        {"a\x80z", "a" + replacement + "z"},
        {"\xC0\xAF", replacement + replacement},              // an overlong '/'
        {"\xED\xA0\x80", replacement + replacement + replacement},  // a surrogate
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},  // beyond U+10FFFF
        {"\xD0", replacement},                                // cut short at the end
        {"\xD0\xAF\xF0\x9F\x98\x80", "\xD0\xAF\xF0\x9F\x98\x80"},  // Я and an emoji pass
    };
    for (const Case& text : cases) {
        EXPECT_EQ(ValidUtf8(text.bytes), text.valid);
        EXPECT_EQ(JsonString(text.bytes), "\"" + text.valid + "\"");
    }
}

TEST(Utf8Text, HeaderTextsShowAsPrintableAsciiAndAreCutShort) {
    EXPECT_EQ(PrintableAscii("Jun 20 2011", 24), "Jun 20 2011");
    EXPECT_EQ(PrintableAscii(std::string("J\x1b[2J\xD0\xAF", 7), 24), "J?[2J??");
    EXPECT_EQ(PrintableAscii(std::string(30, 'x'), 24), std::string(24, 'x') + "...");
}

}  // namespace
