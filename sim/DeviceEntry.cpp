#include "DeviceEntry.h"

#include "comm_device_directory.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace sim {

DeviceEntry::~DeviceEntry() {
    Remove();
}

bool DeviceEntry::Create(int comNumber, const std::string& device, std::string& error) {
    const std::string directory = CommDeviceDirectory().string();
    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (failure) {
        error = "cannot create " + directory + ": " + failure.message();
        return false;
    }
    const std::string path = directory + "/com" + std::to_string(comNumber);
    // A link under a private name, renamed over the entry: the updater never
    // sees a half-made entry, and a stale one from an earlier run is replaced.
    const std::string staging = path + ".new" + std::to_string(::getpid());
    ::unlink(staging.c_str());
    if (::symlink(device.c_str(), staging.c_str()) != 0 ||
        ::rename(staging.c_str(), path.c_str()) != 0) {
        error = "cannot enter " + path + ": " + std::strerror(errno);
        ::unlink(staging.c_str());
        return false;
    }
    m_path = path;
    m_device = device;
    return true;
}

void DeviceEntry::Remove() {
    if (m_path.empty()) {
        return;
    }
    std::error_code failure;
    if (std::filesystem::read_symlink(m_path, failure) == m_device && !failure) {
        ::unlink(m_path.c_str());
    }
    m_path.clear();
}

}  // namespace sim
