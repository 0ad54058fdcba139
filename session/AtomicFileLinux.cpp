#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "AtomicFile.h"

namespace {

constexpr mode_t kFileMode = 0644;  // the user writes, everyone may read

bool WriteAll(int file, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = write(file, content.data(), content.size());
        if (written < 0) {
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

// A rename on Linux never fails because of a reader, and the name always
// leads to the old file or the new: no retries are needed here.
std::optional<std::string> ReadSmallFile(const std::filesystem::path& file,
                                         std::uintmax_t limitBytes) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > limitBytes) {
        return std::nullopt;
    }
    std::ifstream stream(file, std::ios::binary);
    std::ostringstream content;
    if (!(content << stream.rdbuf())) {
        return stream ? std::optional<std::string>("") : std::nullopt;
    }
    return content.str();
}

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view content) {
    // mkstemp fills in the X's with a name no other file has and creates it.
    std::string scratch = target.string() + ".XXXXXX";
    const int file = mkostemp(scratch.data(), O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    // The content reaches the disk before the name does, so a crash leaves
    // the old file or the new one, not an empty one.
    const bool written = WriteAll(file, content) && fchmod(file, kFileMode) == 0 && fsync(file) == 0;
    const bool closed = close(file) == 0;
    if (written && closed && rename(scratch.c_str(), target.c_str()) == 0) {
        return true;
    }
    unlink(scratch.c_str());
    return false;
}
