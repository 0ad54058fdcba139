// Linux tells a device's group from its node, its holders from the open
// files under /proc, and a USB serial adapter's timer under sysfs.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "PortDevice.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kGroupRecordBytes = 4096;  // room for getgrgid_r's strings

std::string GroupOf(const fs::path& node) {
    struct stat status {};
    if (stat(node.c_str(), &status) != 0) {
        return {};
    }
    group entry{};
    group* found = nullptr;
    std::array<char, kGroupRecordBytes> strings{};
    if (getgrgid_r(status.st_gid, &entry, strings.data(), strings.size(), &found) != 0 ||
        found == nullptr) {
        return {};
    }
    return entry.gr_name;
}

std::string FirstLineOf(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The entries of `folder`, read without throwing: processes come and go
// while /proc is read, and a folder that vanishes simply ends the list.
template <typename Visit>
void ForEachEntry(const fs::path& folder, Visit visit) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (visit(entry->path())) {
            return;
        }
    }
}

bool HoldsOpen(const fs::path& descriptors, const fs::path& node) {
    bool holds = false;
    ForEachEntry(descriptors, [&](const fs::path& descriptor) {
        std::error_code error;
        holds = fs::read_symlink(descriptor, error) == node;
        return holds;
    });
    return holds;
}

// Processes of any user may hold it, but only our own user's descriptors
// are readable: the others stay unnamed.
std::vector<std::string> HoldersOf(const fs::path& node) {
    std::vector<std::string> holders;
    const std::string self = std::to_string(getpid());
    ForEachEntry("/proc", [&](const fs::path& process) {
        const std::string pid = process.filename().string();
        int number = 0;
        const auto [end, parsed] = std::from_chars(pid.data(), pid.data() + pid.size(), number);
        const bool isProcess = parsed == std::errc() && end == pid.data() + pid.size();
        if (isProcess && pid != self && HoldsOpen(process / "fd", node)) {
            holders.push_back(FirstLineOf(process / "comm") + " (pid " + pid + ")");
        }
        return false;
    });
    return holders;
}

}  // namespace

PortDevice InspectPortDevice(const std::string& device) {
    PortDevice found;
    std::error_code error;
    const fs::path node = fs::canonical(device, error);
    if (error) {
        return found;
    }
    found.group = GroupOf(node);
    found.holders = HoldersOf(node);
    const std::string name = node.filename().string();
    if (name.starts_with("ttyUSB")) {
        found.latencyTimerSetting = "/sys/bus/usb-serial/devices/" + name + "/latency_timer";
        const std::string value = FirstLineOf(found.latencyTimerSetting);
        int ms = 0;
        const auto [end, parsed] = std::from_chars(value.data(), value.data() + value.size(), ms);
        if (parsed == std::errc() && end != value.data()) {
            found.latencyTimerMs = ms;
        }
    }
    return found;
}
