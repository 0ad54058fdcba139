#include "FormatText.h"

#include <array>
#include <cstdarg>
#include <cstdio>

namespace {

// Nearly every text the program formats (a status line, a percentage, a log
// line's figures) fits here, so it is formatted once; a longer one is
// measured by that first pass and formatted again at its length.
constexpr std::size_t kShortTextBytes = 256;

}  // namespace

std::string FormatText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    std::array<char, kShortTextBytes> shortText;
    const int length = std::vsnprintf(shortText.data(), shortText.size(), format, arguments);
    va_end(arguments);
    std::string text;
    if (length > 0 && static_cast<std::size_t>(length) < shortText.size()) {
        text.assign(shortText.data(), static_cast<std::size_t>(length));
    } else if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        // The string keeps room for the terminating zero behind size().
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}
