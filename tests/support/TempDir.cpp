#include "TempDir.h"

#include <stdlib.h>

#include <filesystem>

namespace testsupport {

TempDir::TempDir() {
    char pattern[] = "/tmp/ziron7-test-XXXXXX";
    if (const char* made = ::mkdtemp(pattern)) {
        m_path = made;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

PrivateDeviceDir::PrivateDeviceDir() {
    ::setenv("ZIRON7_DEVICE_DIR", m_folder.Path().c_str(), 1);
}

}  // namespace testsupport
