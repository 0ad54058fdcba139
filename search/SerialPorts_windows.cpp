// On Windows the ports present are those the system's serial map names
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: device -> COMn); the friendly name is
// that of the device whose parameters carry the port's name, under the
// plug-and-play tree (HKLM\SYSTEM\CurrentControlSet\Enum, three levels down:
// bus, device, instance, with "Device Parameters\PortName"). The registry
// is readable without administrator rights.
#include <windows.h>

#include <algorithm>
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

// The names of the subkeys of `key`.
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
            visit(subkey);
            RegCloseKey(subkey);
        }
    }
}

std::string FriendlyName(const std::wstring& portName) {
    HKEY tree = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceTree, 0, KEY_READ, &tree) != ERROR_SUCCESS) {
        return {};
    }
    std::wstring found;
    ForEachSubkey(tree, [&](HKEY bus) {
        ForEachSubkey(bus, [&](HKEY device) {
            ForEachSubkey(device, [&](HKEY instance) {
                HKEY parameters = nullptr;
                if (!found.empty() || RegOpenKeyExW(instance, L"Device Parameters", 0, KEY_READ,
                                                    &parameters) != ERROR_SUCCESS) {
                    return;
                }
                if (StringValue(parameters, L"PortName") == portName) {
                    found = StringValue(instance, L"FriendlyName").value_or(L"");
                }
                RegCloseKey(parameters);
            });
        });
    });
    RegCloseKey(tree);
    return NarrowToUtf8(found);
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
        const std::string friendly = FriendlyName(*port);
        ports.push_back({number, NarrowToUtf8(device), friendly.empty() ? "serial port" : friendly});
    }
    RegCloseKey(map);
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortEntry& a, const SerialPortEntry& b) { return a.number < b.number; });
    return ports;
}
