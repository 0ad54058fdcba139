// On Windows the ports present are those the system's serial map names
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: device -> COMn); the friendly name is
// that of the device whose parameters carry the port's name, under the
// plug-and-play tree (HKLM\SYSTEM\CurrentControlSet\Enum, three levels down:
// bus, device, instance, with "Device Parameters\PortName"). The registry
// is readable without administrator rights. A USB adapter's device key is
// named by its ids (VID_0403&PID_6001, or VID_0403+PID_6001+... under its
// driver's own bus), its instance key by its serial number when it has one
// (the system makes up instance names with '&' in them for adapters
// without). The stable name of a port is \\.\COMn: the system keeps the
// number with the adapter.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <optional>
#include <string>

#include "SerialPorts.h"
#include "WideText.h"

namespace {

constexpr const wchar_t* kSerialMap = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const wchar_t* kDeviceTree = L"SYSTEM\\CurrentControlSet\\Enum";
constexpr DWORD kLongestName = 512;  // characters, ample for a key or value name

std::optional<std::wstring> StringValue(HKEY key, const wchar_t* name) {
    wchar_t value[kLongestName] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(value);
}

// Each subkey of `key`, open, with its name.
template <typename Visit>
void ForEachSubkey(HKEY key, Visit visit) {
    wchar_t name[kLongestName];
    for (DWORD index = 0;; ++index) {
        DWORD length = kLongestName;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return;
        }
        HKEY subkey = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &subkey) == ERROR_SUCCESS) {
            visit(subkey, std::wstring(name));
            RegCloseKey(subkey);
        }
    }
}

// The four hex digits after `tag` ("VID_") in `deviceKey`, lower case as
// Linux shows them; empty when the key names no such id.
std::string IdAfter(const std::wstring& deviceKey, std::wstring_view tag) {
    constexpr std::size_t kIdDigits = 4;
    const std::size_t at = deviceKey.find(tag);
    if (at == std::wstring::npos || deviceKey.size() < at + tag.size() + kIdDigits) {
        return {};
    }
    std::string id;
    for (std::size_t i = at + tag.size(); i < at + tag.size() + kIdDigits; ++i) {
        id += static_cast<char>(std::towlower(deviceKey[i]));
    }
    return id;
}

// What the plug-and-play tree says of the device whose port is `portName`.
void DescribePort(const std::wstring& portName, SerialPortEntry& entry) {
    HKEY tree = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceTree, 0, KEY_READ, &tree) != ERROR_SUCCESS) {
        return;
    }
    bool found = false;
    ForEachSubkey(tree, [&](HKEY bus, const std::wstring&) {
        ForEachSubkey(bus, [&](HKEY device, const std::wstring& deviceKey) {
            ForEachSubkey(device, [&](HKEY instance, const std::wstring& instanceKey) {
                HKEY parameters = nullptr;
                if (found || RegOpenKeyExW(instance, L"Device Parameters", 0, KEY_READ,
                                           &parameters) != ERROR_SUCCESS) {
                    return;
                }
                if (StringValue(parameters, L"PortName") == portName) {
                    found = true;
                    const std::string friendly =
                        NarrowToUtf8(StringValue(instance, L"FriendlyName").value_or(L""));
                    if (!friendly.empty()) {
                        entry.description = friendly;
                    }
                    const std::string vendor = IdAfter(deviceKey, L"VID_");
                    const std::string product = IdAfter(deviceKey, L"PID_");
                    if (!vendor.empty() && !product.empty()) {
                        entry.usbId = vendor + ":" + product;
                        if (instanceKey.find(L'&') == std::wstring::npos) {
                            entry.usbSerial = NarrowToUtf8(instanceKey);
                        }
                    }
                }
                RegCloseKey(parameters);
            });
        });
    });
    RegCloseKey(tree);
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPorts() {
    std::vector<SerialPortEntry> ports;
    HKEY map = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialMap, 0, KEY_READ, &map) != ERROR_SUCCESS) {
        return ports;
    }
    wchar_t device[kLongestName];
    for (DWORD index = 0;; ++index) {
        DWORD length = kLongestName;
        if (RegEnumValueW(map, index, device, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        const std::optional<std::wstring> port = StringValue(map, device);
        if (!port || port->size() < 4 || port->compare(0, 3, L"COM") != 0) {
            continue;
        }
        const int number = _wtoi(port->c_str() + 3);
        if (number < 1 || number > 255) {
            continue;
        }
        SerialPortEntry entry;
        entry.number = number;
        entry.device = NarrowToUtf8(device);
        entry.description = "serial port";
        entry.stableNames = {"\\\\.\\" + NarrowToUtf8(*port)};
        DescribePort(*port, entry);
        ports.push_back(std::move(entry));
    }
    RegCloseKey(map);
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortEntry& a, const SerialPortEntry& b) { return a.number < b.number; });
    return ports;
}

std::string DeviceOfSerialPort(int number) {
    return "\\\\.\\COM" + std::to_string(number);
}

std::optional<int> SerialPortOfDevice(std::string_view path) {
    // The command line reads COMn and \\.\COMn itself; a device is also
    // named by the system's own name of it (\Device\VCP0).
    for (const SerialPortEntry& port : ListSerialPorts()) {
        if (path == port.device ||
            std::find(port.stableNames.begin(), port.stableNames.end(), path) != port.stableNames.end()) {
            return port.number;
        }
    }
    return std::nullopt;
}
