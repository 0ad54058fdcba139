// The line's name in the device namespace: the entry "comN" in the directory
// $ZIRON7_DEVICE_DIR (default ~/.local/share/ziron7/devices), a symbolic link
// to the device. The updater's serial layer opens COMn through it.
#pragma once

#include <string>

namespace sim {

class DeviceEntry {
public:
    DeviceEntry() = default;
    ~DeviceEntry();  // removes the entry
    DeviceEntry(const DeviceEntry&) = delete;
    DeviceEntry& operator=(const DeviceEntry&) = delete;

    // Enters `device` as "com<number>", creating the directory when needed
    // and replacing a stale entry of that name.
    bool Create(int comNumber, const std::string& device, std::string& error);
    // Removes the entry, unless someone else has replaced it meanwhile.
    void Remove();

private:
    std::string m_path;
    std::string m_device;
};

}  // namespace sim
