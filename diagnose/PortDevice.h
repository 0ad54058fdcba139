// What the system says of the device behind a port, for telling the user
// why the port does not open and where replies are held: the group that
// may open it, the programs that hold it open, and a USB serial adapter's
// latency timer. What a system does not tell stays empty. One .cpp per
// platform.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct PortDevice {
    std::string group;                 // the device's group (dialout); empty when unknown
    std::vector<std::string> holders;  // "minicom (pid 4242)", other than this process
    // A USB serial adapter's latency timer setting (the Linux attribute
    // /sys/bus/usb-serial/devices/ttyUSBn/latency_timer); empty when the
    // port is no such device.
    std::string latencyTimerSetting;
    std::optional<int> latencyTimerMs;  // its value, when it could be read
};

// `device` is the system's name of the port's device (/dev/ttyUSB0), or a
// link to it.
PortDevice InspectPortDevice(const std::string& device);
