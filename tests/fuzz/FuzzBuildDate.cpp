// Arbitrary date and time texts for the build-date parser: only the three
// results exist, and the output changes only on success.
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "BuildDate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = std::min<std::size_t>(data[0] % 16, text.size());
    const std::time_t before = 987654321;
    std::time_t parsed = before;
    const int result = ParseBuildDate(text.substr(0, split), text.substr(split), parsed);
    if (result == BUILD_DATE_PARSED) {
        FormatLocalTime(parsed, "%d/%m/%Y %H:%M:%S");
    } else if ((result != BUILD_DATE_BAD_LENGTH && result != BUILD_DATE_BAD_MONTH) ||
               parsed != before) {
        std::abort();
    }
    return 0;
}
