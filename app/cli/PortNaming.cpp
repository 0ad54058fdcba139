#include "PortNaming.h"

#include "SerialPorts.h"

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

std::string PortLabel(const PortArgument& port) {
    if (port.device.empty()) {
        return PortName(port.number);
    }
    return port.number == 0 ? port.device : port.device + " (" + PortName(port.number) + ")";
}

std::string DeviceText(const PortArgument& port) {
    const std::string device = DeviceOfSerialPort(port.number);
    if (port.device.empty() || port.device == device) {
        return device;
    }
    return device + " (named " + port.device + ")";
}
