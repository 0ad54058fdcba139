// On Linux COMn is what the device namespace makes of it (an entry comN in
// the device folder, or the n-th serial device present); the adapter's name,
// USB ids and serial number come from the USB device's files in sysfs, and
// the stable names are the links udev keeps in /dev/serial.
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
// Where udev keeps the names that follow an adapter across re-plugging.
constexpr const char* kStableNameFolders[] = {"/dev/serial/by-id", "/dev/serial/by-path"};

std::string FirstLine(const fs::path& file) {
    std::ifstream stream(file);
    std::string line;
    std::getline(stream, line);
    return line;
}

// The description and USB identity of the tty `device` from sysfs.
void DescribeDevice(const fs::path& device, SerialPortEntry& entry) {
    const std::string name = device.filename().string();
    if (device.parent_path() == "/dev/pts") {
        entry.description = "pseudo-terminal";
        return;
    }
    entry.description = name.starts_with("ttyS") ? "on-board serial port" : "serial port";
    std::error_code error;
    fs::path node = fs::canonical(fs::path("/sys/class/tty") / name / "device", error);
    if (error) {
        return;
    }
    for (int level = 0; level < kUsbDeviceLevels && !node.empty(); ++level) {
        const std::string vendor = FirstLine(node / "idVendor");
        if (!vendor.empty()) {
            entry.usbId = vendor + ":" + FirstLine(node / "idProduct");
            entry.usbSerial = FirstLine(node / "serial");
            const std::string product = FirstLine(node / "product");
            const std::string maker = FirstLine(node / "manufacturer");
            if (!product.empty()) {
                entry.description = maker.empty() ? product : maker + " " + product;
            }
            return;
        }
        node = node.parent_path();
    }
}

// The links in the stable name folders that lead to `device`.
std::vector<std::string> StableNames(const fs::path& device) {
    std::vector<std::string> names;
    for (const char* folder : kStableNameFolders) {
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            std::error_code unresolved;
            if (fs::canonical(it->path(), unresolved) == device && !unresolved) {
                names.push_back(it->path().string());
            }
        }
    }
    return names;
}

// The device node behind COMn, when one is there.
std::optional<fs::path> DeviceOfPort(int number) {
    const std::string entry = ResolveCommDevice("COM" + std::to_string(number));
    std::error_code error;
    if (entry.empty() || !fs::exists(entry, error)) {
        return std::nullopt;
    }
    const fs::path device = fs::canonical(entry, error);
    return error ? fs::path(entry) : device;
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPorts() {
    std::vector<SerialPortEntry> ports;
    for (int number = 1; number <= kLastPort; ++number) {
        const std::optional<fs::path> device = DeviceOfPort(number);
        if (!device) {
            continue;
        }
        SerialPortEntry port;
        port.number = number;
        port.device = device->string();
        port.stableNames = StableNames(*device);
        DescribeDevice(*device, port);
        ports.push_back(std::move(port));
    }
    return ports;
}

std::string DeviceOfSerialPort(int number) {
    return DeviceOfPort(number).value_or(fs::path()).string();
}

std::optional<int> SerialPortOfDevice(std::string_view path) {
    std::error_code error;
    const fs::path device = fs::canonical(fs::path(path), error);
    if (error) {
        return std::nullopt;
    }
    for (int number = 1; number <= kLastPort; ++number) {
        if (DeviceOfPort(number) == device) {
            return number;
        }
    }
    return std::nullopt;
}
