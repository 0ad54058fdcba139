// Scratch folders for the tests built for Windows: a fresh folder in the
// system's temporary folder, removed with everything in it when the object
// goes.
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "TempDir.h"

namespace testsupport {

TempDir::TempDir() {
    static std::atomic<unsigned> made{0};
    std::error_code failure;
    const std::filesystem::path base = std::filesystem::temp_directory_path(failure);
    if (failure) {
        return;
    }
    // Unique within the process by the count, between processes by the id.
    for (;;) {
        const std::filesystem::path candidate =
            base /
            ("ziron7-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(made++));
        if (std::filesystem::create_directory(candidate, failure)) {
            m_path = candidate.generic_string();
            return;
        }
        if (failure) {
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

}  // namespace testsupport
