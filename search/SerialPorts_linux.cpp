// On Linux COMn is what the device namespace makes of it (an entry comN in
// the device folder, or the n-th serial device present); the adapter's name
// comes from the USB device's descriptor strings in sysfs.
#include <filesystem>
#include <fstream>

#include "SerialPorts.h"
#include "comm_device_names.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLastPort = 255;
// Levels above a tty's sysfs device at which the USB device with its
// descriptor strings lies: the interface, then the device.
constexpr int kUsbDeviceLevels = 3;

std::string FirstLine(const fs::path& file) {
    std::ifstream stream(file);
    std::string line;
    std::getline(stream, line);
    return line;
}

std::string DescribeDevice(const fs::path& device) {
    const std::string name = device.filename().string();
    if (device.parent_path() == "/dev/pts") {
        return "pseudo-terminal";
    }
    std::error_code error;
    fs::path node = fs::canonical(fs::path("/sys/class/tty") / name / "device", error);
    if (error) {
        return "serial port";
    }
    for (int level = 0; level < kUsbDeviceLevels && !node.empty(); ++level) {
        const std::string product = FirstLine(node / "product");
        if (!product.empty()) {
            const std::string maker = FirstLine(node / "manufacturer");
            return maker.empty() ? product : maker + " " + product;
        }
        node = node.parent_path();
    }
    return name.starts_with("ttyS") ? "on-board serial port" : "serial port";
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPorts() {
    std::vector<SerialPortEntry> ports;
    for (int number = 1; number <= kLastPort; ++number) {
        const std::string entry = ResolveCommDevice("COM" + std::to_string(number));
        std::error_code error;
        if (entry.empty() || !fs::exists(entry, error)) {
            continue;
        }
        const fs::path device = fs::canonical(entry, error);
        ports.push_back({number, error ? entry : device.string(),
                         DescribeDevice(error ? fs::path(entry) : device)});
    }
    return ports;
}
