#include <fcntl.h>
#include <unistd.h>

#include "NewFile.h"

namespace {

constexpr mode_t kLogFileMode = 0644;  // the user writes, everyone may read

}  // namespace

bool CreateNewFile(const std::filesystem::path& path) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kLogFileMode);
    if (file < 0) {
        return false;
    }
    close(file);
    return true;
}
