#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "comm_device_directory.h"
#include "comm_device_names.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kComPrefix = "COM";
constexpr std::string_view kDeviceDirVariable = "ZIRON7_DEVICE_DIR";
constexpr std::string_view kDefaultDeviceDir = ".local/share/ziron7/devices";

// USB adapters first, so that one plugged-in adapter is COM1.
constexpr std::string_view kDeviceFamilies[] = {"ttyUSB", "ttyACM", "ttyS"};

// A decimal number without sign or leading zero; nothing when `digits` is
// not one or is implausibly large for a port or device index.
std::optional<unsigned> ParseIndex(std::string_view digits) {
    constexpr std::size_t kMostDigits = 6;
    if (digits.empty() || digits.size() > kMostDigits || (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    unsigned number = 0;
    for (const char digit : digits) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<unsigned>(digit - '0');
    }
    return number;
}

// COMn's n, from 1; nothing for a name that is not a COM port.
std::optional<unsigned> PortNumber(std::string_view name) {
    if (name.starts_with(kDevicePrefix)) {
        name.remove_prefix(kDevicePrefix.size());
    }
    if (name.size() <= kComPrefix.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kComPrefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != kComPrefix[i]) {
            return std::nullopt;
        }
    }
    const auto number = ParseIndex(name.substr(kComPrefix.size()));
    return number && *number != 0 ? number : std::nullopt;
}

// The number behind `family` in a device name such as ttyUSB12.
std::optional<unsigned> FamilyIndex(std::string_view name, std::string_view family) {
    if (!name.starts_with(family)) {
        return std::nullopt;
    }
    return ParseIndex(name.substr(family.size()));
}

// Most PCs have ttyS0..ttyS31 nodes whether or not a UART is there; the
// kernel reports the UART type 0 (unknown) for the empty ones.
bool HasUart(const fs::path& ttyClass, const std::string& name) {
    std::ifstream type(ttyClass / name / "type");
    int uartType = 0;
    return static_cast<bool>(type >> uartType) && uartType != 0;
}

}  // namespace

std::filesystem::path CommDeviceDirectory() {
    if (const char* configured = std::getenv(std::string(kDeviceDirVariable).c_str());
        configured != nullptr && *configured != '\0') {
        return configured;
    }
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : "") / kDefaultDeviceDir;
}

std::vector<std::string> PresentSerialDevices(const fs::path& devices, const fs::path& ttyClass) {
    std::vector<std::string> present;
    std::error_code error;
    for (const std::string_view family : kDeviceFamilies) {
        std::vector<std::pair<unsigned, std::string>> found;
        for (fs::directory_iterator it(devices, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            const auto index = FamilyIndex(name, family);
            if (index && (family != "ttyS" || HasUart(ttyClass, name))) {
                found.emplace_back(*index, it->path().string());
            }
        }
        std::sort(found.begin(), found.end());
        for (auto& [index, path] : found) {
            present.push_back(std::move(path));
        }
    }
    return present;
}

std::string ResolveCommDevice(std::string_view portName) {
    const auto number = PortNumber(portName);
    if (!number) {
        return {};
    }
    const fs::path configured = CommDeviceDirectory() / ("com" + std::to_string(*number));
    std::error_code error;
    if (fs::symlink_status(configured, error).type() != fs::file_type::not_found && !error) {
        return configured.string();
    }
    const std::vector<std::string> present = PresentSerialDevices();
    return *number <= present.size() ? present[*number - 1] : std::string();
}
