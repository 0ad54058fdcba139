#include "Utf8Text.h"

namespace {

constexpr unsigned char kFirstPrintable = 0x20;  // space
constexpr unsigned char kLastPrintable = 0x7E;   // '~'
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The code point of a sequence of `length` bytes whose form was checked.
char32_t CodePoint(std::string_view text, std::size_t length) {
    static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t point = static_cast<unsigned char>(text[0]) & kLeadBits[length];
    for (std::size_t i = 1; i < length; ++i) {
        point = (point << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
    }
    return point;
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t lowest = 0;  // the smallest code point that needs this length
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
            return 0;
        }
    }
    const char32_t point = CodePoint(text, length);
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return point < lowest || surrogate || point > 0x10FFFF ? 0 : length;
}

std::string ValidUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            valid += kReplacement;
            text.remove_prefix(1);
            continue;
        }
        valid += text.substr(0, length);
        text.remove_prefix(length);
    }
    return valid;
}

std::string PrintableAscii(std::string_view bytes, std::size_t limit) {
    std::string shown;
    for (const char c : bytes.substr(0, limit)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte >= kFirstPrintable && byte <= kLastPrintable ? c : '?';
    }
    if (bytes.size() > limit) {
        shown += "...";
    }
    return shown;
}
