// The serial ports present on this machine, named as the port dialog names
// them, with what the system says of each. One .cpp per platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SerialPortEntry {
    int number = 0;           // n of COMn
    std::string device;       // the system's own name of the device (/dev/ttyUSB0)
    std::string description;  // the adapter's name, or the kind of port
    // Names that stay with the adapter when it is plugged in again or in
    // another order (on Linux the links in /dev/serial/by-id and by-path,
    // on Windows \\.\COMn, which the system keeps per adapter).
    std::vector<std::string> stableNames;
    std::string usbId;      // a USB adapter's "vendor:product", 4 hex digits each; empty when unknown
    std::string usbSerial;  // a USB adapter's serial number; empty when it has none
};

std::vector<SerialPortEntry> ListSerialPorts();

// The device that COMn stands for (/dev/ttyUSB0; on Windows \\.\COMn);
// empty when there is none.
std::string DeviceOfSerialPort(int number);

// n of the COMn that stands for the device at `path` (/dev/ttyUSB0, a link
// to it such as /dev/serial/by-id/..., on Windows \\.\COMn); nothing when
// no COMn does.
std::optional<int> SerialPortOfDevice(std::string_view path);
